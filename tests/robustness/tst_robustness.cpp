// The real window under random operator actions, without pauses, against a scripted device on
// loopback TCP and a pty that sends random, malformed and long replies and hangs up or refuses
// while boxes are open, and markup in its replies and in typed commands. Fails on a crash (or
// sanitizer report), a stall, boxes nesting, or a command that is not a complete "*...!" frame. The
// seed is printed first and in every failure; MATRIX_ROBUSTNESS_SEED=<seed> replays a run (the same
// actions; the links' timing may differ), MATRIX_ROBUSTNESS_ACTIONS=<n> sets its length.

#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"
#include "support/stallmeter.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

#include <deque>
#include <memory>

#define CHECK(condition, what) QVERIFY2(condition, qPrintable(QString(what) + "; " + replay()))

// What the console wrote on a TCP connection or the pty; the device's hang-up may cut it short.
struct WireStream
{
    QString name;
    QPointer<QTcpSocket> socket; // none for the pty
    QByteArray bytes;
    int taken; // the commands before this offset have been taken
    bool cutByDevice;
};

class TestRobustness : public QObject
{
    Q_OBJECT
    static constexpr int minimumActions = 2000;
    static constexpr int boxesAllowed = 3; // an operator's box, a reply's and a link's may stack
    static constexpr qint64 runBudgetMs = 45000; // the run stops early rather than overrun CTest
    // Wall time also shows other processes: only a gap far beyond any scheduling delay fails.
    static constexpr qint64 stallLimitWallMs = 2000;
    quint64 seed = 0;
    QRandomGenerator rng;
    std::unique_ptr<ctrlUi> window;
    std::unique_ptr<CtrlUiProbe> probe;
    std::unique_ptr<PtyPair> pty;
    QByteArray ptyOutgoing; // what the pty did not take yet
    QTcpServer server;
    quint16 devicePort = 0, refusedPort = 0;
    std::deque<WireStream> streams; // their addresses stay
    WireStream *tcp = nullptr, *serial = nullptr; // the newest connection, the pty
    StallMeter *stalls = nullptr;
    QEventLoop runLoop;
    QElapsedTimer clock;
    bool winding = false; // no more actions; boxes are still accepted
    int targetActions = 0, actions = 0, replies = 0, boxes = 0, deepestBoxes = 0, frames = 0;

    QString replay() const { return QString("seed: MATRIX_ROBUSTNESS_SEED=%1").arg(seed); }
    int pick(int count) { return int(rng.bounded(quint32(count))); }
    bool chance(double p) { return rng.generateDouble() < p; }
    template<typename T> T pickOf(const QList<T> &list) { return list.at(pick(list.size())); }
    template<typename W> QWidget *anyOf() { return pickOf(window->findChildren<W *>()); }
    static QByteArray twoDigits(int n) { return QByteArray::number(n).rightJustified(2, '0'); }

    // Numbers that pass, limits, signs, blanks, digits not ASCII, short and long strings.
    QString randomText()
    {
        static const QString alphabet = "0123456789 +-!*:<>xABz\t０１２３４５６７８９中文　٣";
        static const QList<QStringList> fixed
            = {{"0", "73", "100", "200", "10", "9", "30", "31", "99", "256"},
               {"-1", "+5", " 5", "5 ", " ", "", "1 2", "0x1", "08", "007"},
               {"１", "７２", "٣", "５０", "1０", "²", "😀", "😀😀😀"}};
        const int roll = pick(10);
        QString text = roll < 3 ? QString::number(1 + pick(72))
            : roll < 6          ? pickOf(fixed[roll - 3])
                                : "";
        for (int i = roll < 6 ? 0 : roll < 7 ? 1 + pick(3000) : 1 + pick(8); i > 0; --i)
            text += alphabet.at(pick(alphabet.size()));
        return text;
    }

    // Text that a rich-text box would read as markup: images of device and local files, nested
    // tables, entities, tags after a leading CR, LF or invalid byte. Shown as characters, each
    // costs what its length costs. Read as HTML, an image of /dev/zero holds the window for
    // seconds and 16 nested tables for about two (each two levels cost four times more), so that
    // the stall limit fails the run; deeper ones would hang it before it could say why (the link
    // tests take 10,000 levels). No "*" or "!", so that a typed one fits in a frame.
    QByteArray markup()
    {
        static const QList<QByteArray> fixed
            = {"<img src=\"/dev/zero\">",
               "<img src=\"/dev/urandom\">",
               "<img src=\"/etc/hostname\">",
               "<img src=\"file:///proc/self/mem\" width=9999 height=9999>",
               "<b>on air</b>",
               "&lt;b&gt; &#x41; &amp;amp;",
               "\r<img src=\"/dev/zero\">",
               "\n<h1>x</h1>",
               "\r\n<table><tr><td>x",
               "\xff<img src=\"/dev/zero\">",
               "<a href=\"file:///etc\">x</a>",
               "<p style=\"font-size:4000pt\">x</p>",
               "<pre>\t</pre><hr><ul><li>x"};
        return chance(0.6)
            ? pickOf(fixed)
            : QByteArray(chance(0.5) ? "<table><tr><td>" : "<table border=1><tr><td>")
                  .repeated(1 + pick(16));
    }

    QByteArray deviceInfo(const QByteArray &letter, bool sane) // with random counts
    {
        const auto count = [&] {
            return sane ? twoDigits(1 + pick(32)) : pickOf<QByteArray>({"00", "-1", " 0", "x"});
        };
        return letter + ":\x04" + "ABCDx" + count() + '-' + count() + "-PQRS";
    }

    QByteArray deviceReply()
    {
        const QByteArray letter(1, char('A' + pick(8)));
        QByteArray map = letter + ':', noise(1 + pick(64), '\0'); // the map mostly complete
        for (int i = chance(0.8) ? probe->outputCount() : pick(20); i > 0; --i)
            map += twoDigits(pick(100));
        for (char &c : noise)
            c = char(pick(256));
        const int kind = pick(10);
        QByteArray bytes = chance(0.5) ? deviceInfo(letter, chance(0.7)) : map;
        for (int i = kind == 1 || kind == 2 ? 1 + pick(3) : 0; i > 0; --i)
            bytes[pick(bytes.size())] = kind == 1 ? '\0' : '\x04';
        return kind == 0 ? noise
            : kind == 3  ? map.left(1 + pick(map.size() - 1)) // truncated
            : kind == 4  ? bytes + '!'
            : kind == 5  ? letter + ':' + pickOf<QByteArray>({"OK", "ERR", "", "\r\n", "1", "x"})
            : kind == 6  ? map + map // two in one
            : kind == 7 && chance(0.2) // a wrong baud rate or a noisy line: 64 KB without a blank
            ? QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(1821)
            : kind == 8 && chance(0.5) ? markup() : bytes;
    }

    // Takes what the console wrote. Every command is one frame "*...!" (the free command's texts
    // are made frames too) with no second "*", so that one cut short is caught as well. Like a
    // device, "*?!" is answered with the device information and "*!" with the routing map, mostly.
    void answer(WireStream *s)
    {
        s->bytes += s == serial ? pty->take() : s->socket->readAll();
        for (int end; (end = s->bytes.indexOf('!', s->taken)) >= 0; s->taken = end + 1, ++frames) {
            const QByteArray command = s->bytes.mid(s->taken, end + 1 - s->taken);
            if (!command.startsWith('*') || command.count('*') > 1)
                qFatal("%s carried a command that is not a frame: %s; %s", qPrintable(s->name),
                       command.left(80).toPercentEncoding(" *!?:").constData(),
                       qPrintable(replay()));
            if (command == "*?!" && chance(0.8))
                send(s, deviceInfo("B", true));
            else if (command.endsWith("*!") && chance(0.8))
                send(s, deviceReply());
        }
    }

    bool isUp(WireStream *s) const
    {
        return s == serial
            ? probe->serialPort().isOpen() && pty->isOpen()
            : s && s->socket && s->socket->state() == QAbstractSocket::ConnectedState;
    }

    void send(WireStream *s, const QByteArray &reply)
    {
        if (isUp(s)) {
            s == serial ? void(ptyOutgoing += reply) : void(s->socket->write(reply));
            ++replies;
        }
    }

    void pumpPty()
    {
        if (pty->isOpen()) {
            answer(serial);
            ptyOutgoing.remove(0, int(qMax<qint64>(pty->writeSome(ptyOutgoing), 0)));
        }
    }

    void newPty()
    {
        pty = std::make_unique<PtyPair>();
        serial = &streams.emplace_back(WireStream {"pty " + pty->slavePath(), {}, {}, 0, false});
    }

    void deviceAction()
    {
        if (!server.isListening() && chance(0.5)) // taking connections again
            CHECK(server.listen(QHostAddress::LocalHost, devicePort), "cannot listen again");
        const int roll = pick(100);
        WireStream *link = roll < 86 ? tcp : serial;
        if (roll < 80) {
            send(isUp(tcp) && (!isUp(serial) || chance(0.5)) ? tcp : serial, deviceReply());
        } else if (roll < 89 && isUp(link)) { // a hang-up, now and then a hard one
            answer(link);
            link->cutByDevice = true;
            link == serial    ? pty->closeMaster()
                : chance(0.5) ? link->socket->abort()
                              : link->socket->disconnectFromHost();
        } else if (roll < 92 && server.isListening()) {
            server.close();
        }
    }

    void timerEvent(QTimerEvent *) override // a step, as often as the event loop turns
    {
        pumpPty();
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            if (!winding && chance(0.5)) // the device goes on while the box waits
                return deviceAction();
            box->button(QMessageBox::Ok)->click();
        } else if (winding || actions >= targetActions || clock.elapsed() > runBudgetMs) {
            winding = true;
            runLoop.quit();
        } else {
            if (chance(0.35))
                deviceAction();
            // Posted, so that a box an action opens runs its loop outside this step. A burst is
            // clicks "at once", each a stall of its own; no input passes a modal box.
            QTimer::singleShot(0, this, [this, burst = chance(0.15) ? 2 + pick(3) : 1] {
                for (int i = 0; i < burst && !winding && !QApplication::activeModalWidget(); ++i) {
                    stalls->mark();
                    operatorAction();
                }
            });
        }
    }

    void operatorAction()
    {
        Ui_ctrlForm &ui = probe->ui();
        const int roll = pick(20);
        QWidget *target = roll < 6 ? anyOf<QPushButton>() // or the link of the page shown:
            : roll < 8    ? (ui.sWidgetCommunication->currentIndex() ? ui.pBtnCommunicationConnect
                                                                     : ui.pBtnOpenCOM)
            : roll < 12   ? anyOf<QLineEdit>()
            : roll < 14   ? anyOf<QComboBox>() // the mode switch among them
            : roll < 15   ? anyOf<QTabWidget>()
            : chance(0.5) ? ui.tWidgetIn
                          : ui.tWidgetOut;
        if (!target->isVisible() || !target->isEnabled() || target->property("readOnly").toBool()
            || target == ui.lEdtCommunicationIPset || target == ui.cBoxCOMn)
            return;
        if (target == ui.pBtnCommunicationConnect && !probe->tcpClient().isOpen()) {
            // Loopback; the device's port, one nobody listens on, or a text refused.
            const QString port = QString::number(chance(0.67) ? devicePort : refusedPort);
            ui.lEdtCommunicationIPset->setText(
                pickOf<QString>({"127.0.0.1", "127.0.0.1", "localhost", "::1"}));
            ui.lEdtCommunicationPort->setText(
                chance(0.6) ? port
                            : pickOf<QString>({"", "0", "65536", "99999999", "+8126", " 8126",
                                               "81a", "-1", "８１２６", "1e3"}));
        }
        const QString host = ui.lEdtCommunicationIPset->text();
        if (host != "127.0.0.1" && host != "localhost" && host != "::1")
            qFatal("the address field holds %s; %s", qPrintable(host), qPrintable(replay()));
        if (target == ui.pBtnOpenCOM && !probe->serialPort().isOpen()) {
            if (!pty->isOpen()) // only the test's own pty, never a real serial port
                newPty();
            probe->openSerial(pty->slavePath());
        } else if (auto *button = qobject_cast<QPushButton *>(target)) {
            button->click();
        } else if (target == ui.lEdtInputCount || target == ui.lEdtOutputCount) {
            target->setProperty("text", QString()); // typed, for the validator, then confirmed
            for (const QChar c : randomText().left(4)) // keyClicks() knows ASCII only
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, c, Qt::NoModifier);
            QTest::keyClick(target, Qt::Key_Return);
        } else if (target == ui.otherTextSend) { // sent as typed, so kept to frames
            const QString typed = chance(0.2) ? QString::fromUtf8(markup()) : randomText();
            ui.otherTextSend->setText(
                chance(0.1) ? QString() : '*' + QString(typed).remove('*').remove('!') + '!');
        } else if (qobject_cast<QLineEdit *>(target)) {
            target->setProperty("text", randomText());
        } else if (auto *combo = qobject_cast<QComboBox *>(target)) {
            combo->setCurrentIndex(combo->count() ? pick(combo->count()) : -1);
        } else if (auto *tabs = qobject_cast<QTabWidget *>(target)) {
            tabs->setCurrentIndex(pick(tabs->count()));
        } else if (auto *table = qobject_cast<QTableWidget *>(target); table->rowCount()) {
            const int row = pick(table->rowCount()); // a cell, or the name of a port's device
            chance(0.7) ? table->setCurrentCell(row, pick(table->columnCount()))
                        : table->setItem(row, 1, new QTableWidgetItem(randomText().left(40)));
        }
        ++actions;
    }

protected:
    // As each box is shown: a handler re-entering itself in its box may open thousands at once.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(watched) && window) {
            int open = 0;
            for (const QMessageBox *box : window->findChildren<QMessageBox *>())
                open += box->isVisible() ? 1 : 0;
            deepestBoxes = qMax(deepestBoxes, open);
            ++boxes;
            if (open > boxesAllowed)
                qFatal("%d boxes open inside each other (\"%s\"): a handler re-entered itself; %s",
                       open, qPrintable(static_cast<QMessageBox *>(watched)->text()),
                       qPrintable(replay()));
        }
        return false;
    }

private slots:
    void randomOperatorAgainstHostileDevice()
    {
        static QtMessageHandler testLib = nullptr;
        testLib = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                static QSet<QString> seen; // each warning once: offscreen warns for every box
                if (type != QtWarningMsg || !seen.contains(message))
                    testLib(type, context, message);
                seen.insert(message);
            });
        const QString given = qEnvironmentVariable("MATRIX_ROBUSTNESS_SEED");
        seed = given.isEmpty() ? QRandomGenerator::system()->generate64() : given.toULongLong();
        rng.seed(seed);
        qInfo("%s", qPrintable(replay()));
        const int actionsWanted = qEnvironmentVariableIntValue("MATRIX_ROBUSTNESS_ACTIONS");
        targetActions = actionsWanted > 0 ? actionsWanted : 3000;

        QTcpServer nobody; // a port nobody listens on: refused at once
        CHECK(nobody.listen(QHostAddress::LocalHost) && server.listen(QHostAddress::LocalHost),
              "cannot listen");
        refusedPort = nobody.serverPort();
        nobody.close();
        devicePort = server.serverPort();
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) { // older ones live on
                const QString name = QString("TCP connection %1").arg(streams.size() + 1);
                tcp = &streams.emplace_back(WireStream {name, socket, {}, 0, false});
                connect(socket, &QTcpSocket::readyRead, this, [this, s = tcp] { answer(s); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        newPty();
        CHECK(pty->isValid(), "no pseudo-terminal");
        window = std::make_unique<ctrlUi>();
        probe = std::make_unique<CtrlUiProbe>(*window);
        window->show();
        probe->ui().lEdtCommunicationIPset->setText("127.0.0.1"); // never the default address

        qApp->installEventFilter(this);
        const int stepTimer = startTimer(0);
        StallMeter meter;
        stalls = &meter;
        clock.start();
        runLoop.exec();
        killTimer(stepTimer);
        qApp->removeEventFilter(this);
        const qint64 runMs = clock.elapsed(), stallWallMs = meter.longestWallMs();
        const double stallCpuMs = meter.longestCpuMs();
        qInfo("%d actions, %d device replies, %d boxes (at most %d open), %d command frames on %d "
              "links in %lld ms; longest stall %.1f ms CPU, %lld ms wall",
              actions, replies, boxes, deepestBoxes, frames, int(streams.size()), runMs, stallCpuMs,
              stallWallMs);

        // The console still works: the next connection carries a refresh.
        MessageBoxRecorder lateBoxes;
        Ui_ctrlForm &ui = probe->ui();
        CHECK(QTest::qWaitFor([&] { return ui.pBtnCommunicationConnect->isEnabled(); }),
              "the connect button stays disabled");
        ui.cBoxCommunicationSet->setCurrentIndex(1);
        if (probe->tcpClient().isOpen())
            ui.pBtnCommunicationConnect->click();
        server.close();
        CHECK(server.listen(QHostAddress::LocalHost), "cannot listen again");
        const WireStream *before = tcp;
        CHECK(probe->connectTcp(server.serverPort()),
              "no connection after the run: " + lateBoxes.summary());
        CHECK(QTest::qWaitFor([&] { return tcp != before && tcp->bytes.startsWith("*?!"); }),
              "no refresh after the run");
        window.reset(); // closes the links
        CHECK(QTest::qWaitFor([&] { return !tcp->socket; }), "the last connection stays open");
        pumpPty();

        for (const WireStream &s : streams)
            CHECK(s.taken == s.bytes.size() || s.cutByDevice,
                  s.name + " ends in an unfinished command");
        CHECK(actions >= minimumActions,
              QString("only %1 actions in %2 ms").arg(actions).arg(runMs));
        CHECK(stallCpuMs < allowedStallMs && stallWallMs < stallLimitWallMs,
              QString("a stall of %1 ms CPU, %2 ms wall").arg(stallCpuMs).arg(stallWallMs));
    }
};

QTEST_MAIN(TestRobustness)
#include "tst_robustness.moc"
