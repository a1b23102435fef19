// The real window under random operator actions, without pauses, against a
// scripted device on 127.0.0.1 and a pseudo-terminal that answers with
// random, malformed and very long replies and hangs up or refuses while
// boxes are open. Fails on a crash (a sanitizer report in that build), a
// stall of the event loop, boxes nesting inside boxes, or a command on the
// wire that is not a complete "*...!" frame.
//
// The seed is printed first; MATRIX_ROBUSTNESS_SEED=<seed> replays a run
// (the same actions; the timing of the links may differ), and
// MATRIX_ROBUSTNESS_ACTIONS=<n> changes its length.

#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"
#include "support/stallmeter.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

constexpr int defaultActions = 3000;
constexpr int minimumActions = 2000;
constexpr qint64 runBudgetMs = 45000; // the run stops early rather than overrun CTest
constexpr double stallLimitCpuMs = allowedStallMs; // the window's own work between two turns
// A wall-clock gap also shows a blocking wait, but on a loaded machine it also
// shows other processes; only a gap far beyond any scheduling delay fails.
constexpr qint64 stallLimitWallMs = 2000;
// An operator box, a reply's box and a link's box may stack; more means a
// handler re-entered itself.
constexpr int deepestLegitimateBoxes = 3;

// One stream of bytes the console wrote to the device: a TCP connection or a
// pseudo-terminal. The device's own hang-up may cut off the last frame.
struct WireStream
{
    QString name;
    QByteArray bytes;
    bool cutByDevice = false;
    int answeredUpTo = 0; // frames before this offset have been answered
};

QString escaped(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes.left(80)) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 0x20 && byte < 0x7f ? QString(QChar(byte))
                                            : QString::asprintf("\\x%02x", byte);
    }
    return bytes.size() > 80 ? text + "..." : text;
}

// Every command the console builds is one frame "*...!"; the free command's
// random texts are made frames too (see freeCommandText). A frame holds no
// second "*", so a frame cut short is caught as well.
QString checkFrames(const WireStream &stream, int *frames)
{
    for (int at = 0; at < stream.bytes.size();) {
        if (stream.bytes.at(at) != '*')
            return QString("%1: byte %2 starts no frame: %3")
                .arg(stream.name)
                .arg(at)
                .arg(escaped(stream.bytes.mid(at)));
        const int end = stream.bytes.indexOf('!', at);
        const int nextStart = stream.bytes.indexOf('*', at + 1);
        if (end < 0) {
            if (stream.cutByDevice)
                return QString();
            return QString("%1: unfinished frame at the end: %2")
                .arg(stream.name)
                .arg(escaped(stream.bytes.mid(at)));
        }
        if (nextStart >= 0 && nextStart < end)
            return QString("%1: frame cut short at byte %2: %3")
                .arg(stream.name)
                .arg(at)
                .arg(escaped(stream.bytes.mid(at, nextStart - at + 20)));
        ++*frames;
        at = end + 1;
    }
    return QString();
}

// Qt's warnings are counted, and each kind is shown once, so that a storm of
// them neither hides the summary nor trips QtTest's warning limit.
QHash<QString, int> warnings;
QtMessageHandler testLibHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains("propagateSizeHints")) // the offscreen platform, for every box
        return;
    if (type == QtWarningMsg && ++warnings[message.left(70)] > 1)
        return;
    testLibHandler(type, context, message);
}

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void randomOperatorAgainstHostileDevice();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // randomness
    int pick(int count) { return int(rng.bounded(quint32(count))); }
    bool chance(double p) { return rng.generateDouble() < p; }
    template<typename T> T pickOf(std::initializer_list<T> items)
    {
        return *(items.begin() + pick(int(items.size())));
    }
    QString randomText();
    QString freeCommandText();
    QString portText();
    QByteArray deviceReply();

    // the device
    void acceptConnection();
    void readSession(QTcpSocket *socket, WireStream *stream);
    void answerCommands(WireStream *stream, const std::function<void(const QByteArray &)> &send);
    void deviceAction();
    void pumpPty();
    void sendOnPty(const QByteArray &bytes);
    void newPty();

    // the operator
    void step();
    void operatorAction();
    void clickButton(QPushButton *button);
    bool usable(QWidget *widget) const { return widget->isVisible() && widget->isEnabled(); }
    // What happened last, to name the likely cause of the longest stall.
    void note(const QString &what)
    {
        recent.append(what);
        if (recent.size() > 4)
            recent.removeFirst();
    }

    QString replay() const
    {
        return QString("seed %1; replay with MATRIX_ROBUSTNESS_SEED=%1").arg(seed);
    }

    quint64 seed = 0;
    QRandomGenerator rng;
    std::unique_ptr<ctrlUi> window;
    std::unique_ptr<CtrlUiProbe> probe;

    QTcpServer server;
    quint16 devicePort = 0;
    quint16 refusedPort = 0;
    QPointer<QTcpSocket> session;
    WireStream *sessionStream = nullptr;
    std::vector<std::unique_ptr<WireStream>> streams;
    std::unique_ptr<PtyPair> pty;
    WireStream *ptyStream = nullptr;
    QByteArray ptyOutgoing;

    QTimer stepTimer;
    StallMeter *stalls = nullptr;
    double longestSeenMs = 0;
    QStringList recent, beforeLongest;
    QEventLoop runLoop;
    QElapsedTimer clock;
    int targetActions = defaultActions;
    bool winding = false; // no more actions; boxes are still accepted
    int actions = 0, replies = 0, boxes = 0, hangUps = 0, refusals = 0, deepestBoxes = 0;
};

void TestRobustness::initTestCase()
{
    testLibHandler = qInstallMessageHandler(countingHandler);
    bool ok = false;
    seed = qEnvironmentVariable("MATRIX_ROBUSTNESS_SEED").toULongLong(&ok);
    if (!ok)
        seed = QRandomGenerator::system()->generate64();
    rng.seed(seed);
    const int actionsWanted = qEnvironmentVariableIntValue("MATRIX_ROBUSTNESS_ACTIONS", &ok);
    if (ok && actionsWanted > 0)
        targetActions = actionsWanted;
    qInfo("%s", qPrintable(replay()));
}

// ---- random texts and replies ------------------------------------------

QString TestRobustness::randomText()
{
    static const QString alphabet = QString::fromUtf8("0123456789 +-!*:<>xABz\t"
                                                      "０１２３４５６７８９中文　٣");
    switch (pick(10)) {
    case 0:
    case 1:
    case 2:
        return QString::number(1 + pick(72)); // mostly numbers that pass, so commands go out
    case 3:
        return pickOf<QString>({"0", "73", "100", "200", "10", "9", "30", "31", "99", "256"});
    case 4:
        return pickOf<QString>({"-1", "+5", " 5", "5 ", " ", "", "1 2", "0x1", "08", "007"});
    case 5:
        return pickOf<QString>({"１", "７２", "٣", "５０", "1０", "²"}); // digits, but not ASCII
    case 6: {
        QString text(1 + pick(3000), QChar('7'));
        for (QChar &c : text)
            c = alphabet.at(pick(alphabet.size()));
        return text;
    }
    case 7:
        return QString::fromUtf8("😀").repeated(1 + pick(4)); // outside the BMP
    default: {
        QString text;
        for (int i = 1 + pick(8); i > 0; --i)
            text += alphabet.at(pick(alphabet.size()));
        return text;
    }
    }
}

QString TestRobustness::freeCommandText()
{
    // The free command is sent as typed, so its random texts are kept to
    // frames: anything inside, but no "*" or "!" of its own.
    if (chance(0.1))
        return QString();
    QString inner = randomText();
    inner.remove('*').remove('!');
    return '*' + inner + '!';
}

QString TestRobustness::portText()
{
    // Never a port a real service may listen on: the device's, one nobody
    // listens on, or a text the console refuses.
    switch (pick(5)) {
    case 0:
    case 1:
        return QString::number(devicePort);
    case 2:
        return QString::number(refusedPort);
    default:
        return pickOf<QString>(
            {"", "0", "65536", "99999999", "+8126", " 8126", "81a", "-1", "８１２６", "1e3"});
    }
}

QByteArray TestRobustness::deviceReply()
{
    const QByteArray letter(1, char('A' + pick(8)));
    auto pairs = [&](int count) {
        QByteArray bytes;
        for (int j = 0; j < count; ++j)
            bytes += QByteArray::number(pick(100)).rightJustified(2, '0');
        return bytes;
    };
    auto info = [&] {
        const bool usable = chance(0.7);
        const QByteArray inputs = usable ? QByteArray::number(1 + pick(32)).rightJustified(2, '0')
                                         : pickOf<QByteArray>({"00", "-1", "ab", " 0", "0"});
        const QByteArray outputs = usable ? QByteArray::number(1 + pick(32)).rightJustified(2, '0')
                                          : pickOf<QByteArray>({"00", "-5", "x", "  "});
        return letter + ":\x04" + "ABCDx" + inputs + '-' + outputs + "-PQRS";
    };
    const int outputs = probe->outputCount();
    switch (pick(12)) {
    case 0: {
        QByteArray bytes(1 + pick(64), '\0');
        for (char &c : bytes)
            c = char(pick(256));
        return bytes;
    }
    case 1:
    case 2:
        return info();
    case 3:
    case 4:
        return letter + ':' + pairs(outputs); // a complete map
    case 5: {
        const QByteArray map = letter + ':' + pairs(qMax(outputs, 1));
        return map.left(1 + pick(map.size() - 1)); // truncated
    }
    case 6:
        return (chance(0.5) ? info() : letter + ':' + pairs(outputs)) + '!';
    case 7: {
        QByteArray bytes = chance(0.5) ? info() : letter + ':' + pairs(outputs);
        for (int i = 1 + pick(3); i > 0; --i)
            bytes[pick(bytes.size())] = '\0';
        return bytes;
    }
    case 8: {
        QByteArray bytes = letter + ':' + pairs(pick(20));
        for (int i = 1 + pick(3); i > 0; --i)
            bytes.insert(pick(bytes.size() + 1), '\x04');
        return bytes;
    }
    case 9:
        if (chance(0.25)) { // a wrong baud rate or a noisy line: 64 KB without a blank
            QByteArray bytes(64 * 1024, '0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = chance(0.5) ? char('0' + i % 10) : char('a' + i % 26);
            return bytes;
        }
        return info();
    case 10:
        return letter + ':' + pickOf<QByteArray>({"OK", "ERR", "", "\r\n", "1", "x"});
    default:
        return letter + ':' + pairs(outputs) + letter + ':' + pairs(outputs); // two in one
    }
}

// ---- the device -----------------------------------------------------------

void TestRobustness::acceptConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        streams.push_back(std::make_unique<WireStream>());
        WireStream *stream = streams.back().get();
        stream->name = QString("TCP connection %1").arg(streams.size());
        session = socket; // an older one lives on until the console has closed it
        sessionStream = stream;
        connect(socket, &QTcpSocket::readyRead, this, [=] { readSession(socket, stream); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TestRobustness::readSession(QTcpSocket *socket, WireStream *stream)
{
    stream->bytes += socket->readAll();
    answerCommands(stream, [=](const QByteArray &reply) {
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(reply);
            note(QString("device answers %1 bytes over TCP").arg(reply.size()));
            ++replies;
        }
    });
}

void TestRobustness::answerCommands(WireStream *stream,
                                    const std::function<void(const QByteArray &)> &send)
{
    // Like a device: "*?!" is answered with the device information and "*!"
    // with the routing map, most of the time.
    for (int end; (end = stream->bytes.indexOf('!', stream->answeredUpTo)) >= 0;) {
        const QByteArray frame
            = stream->bytes.mid(stream->answeredUpTo, end + 1 - stream->answeredUpTo);
        stream->answeredUpTo = end + 1;
        if (frame.endsWith("*?!") && chance(0.8))
            send("B:\x04"
                 "ABCDx"
                 + QByteArray::number(1 + pick(24)).rightJustified(2, '0') + '-'
                 + QByteArray::number(1 + pick(24)).rightJustified(2, '0') + "-PQRS");
        else if (frame.endsWith("*!") && chance(0.8))
            send(deviceReply());
    }
}

void TestRobustness::newPty()
{
    pty = std::make_unique<PtyPair>();
    streams.push_back(std::make_unique<WireStream>());
    ptyStream = streams.back().get();
    ptyStream->name = QString("pty %1").arg(pty->slavePath());
    ptyOutgoing.clear();
}

void TestRobustness::pumpPty()
{
    if (!pty->isOpen())
        return;
    ptyStream->bytes += pty->take();
    answerCommands(ptyStream, [this](const QByteArray &reply) { sendOnPty(reply); });
    if (!ptyOutgoing.isEmpty()) {
        const qint64 written = pty->writeSome(ptyOutgoing);
        if (written > 0)
            ptyOutgoing.remove(0, int(written));
    }
}

void TestRobustness::sendOnPty(const QByteArray &bytes)
{
    if (!probe->serialPort().isOpen())
        return;
    ptyOutgoing += bytes;
    note(QString("device sends %1 bytes on the pty").arg(bytes.size()));
    ++replies;
}

void TestRobustness::deviceAction()
{
    if (!server.isListening() && chance(0.5)) { // taking connections again
        if (!server.listen(QHostAddress::LocalHost, devicePort)) {
            QVERIFY2(server.listen(QHostAddress::LocalHost, 0), "cannot listen again");
            devicePort = server.serverPort();
        }
    }
    const int roll = pick(100);
    const bool tcpUp = session && session->state() == QAbstractSocket::ConnectedState;
    const bool serialUp = probe->serialPort().isOpen() && pty->isOpen();
    if (roll < 80) {
        if (tcpUp && (!serialUp || chance(0.5))) {
            const QByteArray reply = deviceReply();
            session->write(reply);
            note(QString("device sends %1 bytes over TCP").arg(reply.size()));
            ++replies;
        } else if (serialUp) {
            sendOnPty(deviceReply());
        }
    } else if (roll < 86 && tcpUp) { // the device hangs up, now and then hard
        ++hangUps;
        note("device hangs up TCP");
        readSession(session.data(), sessionStream);
        sessionStream->cutByDevice = true;
        if (chance(0.5))
            session->abort();
        else
            session->disconnectFromHost();
    } else if (roll < 89 && serialUp) { // the line goes away
        ++hangUps;
        note("the pty goes away");
        ptyStream->bytes += pty->take();
        ptyStream->cutByDevice = true;
        pty->closeMaster();
    } else if (roll < 92 && server.isListening()) { // the device refuses connections
        ++refusals;
        note("device refuses connections");
        server.close();
    }
}

// ---- the operator -----------------------------------------------------------

void TestRobustness::step()
{
    if (stalls->longestCpuMs() > longestSeenMs) {
        longestSeenMs = stalls->longestCpuMs();
        beforeLongest = recent;
    }
    pumpPty();

    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (box && box->isVisible()) {
        if (!box->property("counted").toBool()) {
            box->setProperty("counted", true);
            ++boxes;
        }
        // The device goes on while the box waits; the operator accepts it
        // sooner or later.
        if (winding || chance(0.5)) {
            note("accept " + box->windowTitle());
            box->button(QMessageBox::Ok)->click();
        } else
            deviceAction();
        return;
    }

    if (winding) {
        runLoop.quit();
        return;
    }
    if (actions >= targetActions || clock.elapsed() > runBudgetMs) {
        winding = true;
        return;
    }
    if (chance(0.35))
        deviceAction();
    // Posted, so that a box the action opens runs its loop outside this
    // step and the steps go on inside it. A burst models clicks "at once".
    const int burst = chance(0.15) ? 2 + pick(3) : 1;
    QTimer::singleShot(0, this, [this, burst] {
        for (int i = 0; i < burst && !winding; ++i) {
            // Input does not reach the window behind a modal box.
            if (QApplication::activeModalWidget())
                return;
            // Clicks come "at once" but not in the same millisecond: each
            // action's cost is a stall of its own.
            stalls->mark();
            operatorAction();
        }
    });
}

void TestRobustness::clickButton(QPushButton *button)
{
    Ui_ctrlForm &ui = probe->ui();
    if (button == ui.pBtnCommunicationConnect && !probe->tcpClient().isOpen()) {
        // Loopback only: the form's default address is never clicked.
        ui.lEdtCommunicationIPset->setText(
            pickOf<QString>({"127.0.0.1", "127.0.0.1", "localhost", "::1"}));
        ui.lEdtCommunicationPort->setText(portText());
        const QString host = ui.lEdtCommunicationIPset->text();
        note(QString("connect to %1 port '%2'").arg(host, ui.lEdtCommunicationPort->text()));
        if (host != "127.0.0.1" && host != "localhost" && host != "::1")
            qFatal("about to connect to %s", qPrintable(host));
    } else if (button == ui.pBtnOpenCOM && !probe->serialPort().isOpen()) {
        // Only the test's own pty is ever opened, never a real serial port.
        if (!pty->isOpen())
            newPty();
        if (ui.cBoxCOMn->findText(pty->slavePath()) < 0)
            ui.cBoxCOMn->addItem(pty->slavePath());
        ui.cBoxCOMn->setCurrentText(pty->slavePath());
    }
    note("click " + button->objectName());
    button->click();
}

void TestRobustness::operatorAction()
{
    Ui_ctrlForm &ui = probe->ui();
    const int roll = pick(20);
    if (roll < 6) { // any button in sight
        const auto buttons = window->findChildren<QPushButton *>();
        QPushButton *button = buttons.at(pick(buttons.size()));
        if (!usable(button))
            return;
        clickButton(button);
    } else if (roll < 8) { // the link of the page shown
        QPushButton *button = ui.sWidgetCommunication->currentIndex() == 0
            ? ui.pBtnOpenCOM
            : ui.pBtnCommunicationConnect;
        if (!usable(button))
            return;
        clickButton(button);
    } else if (roll < 12) {
        const auto edits = window->findChildren<QLineEdit *>();
        QLineEdit *edit = edits.at(pick(edits.size()));
        if (!usable(edit) || edit->isReadOnly() || edit == ui.lEdtCommunicationIPset)
            return;
        note(QString("type into %1").arg(edit->objectName()));
        if (edit == ui.lEdtInputCount || edit == ui.lEdtOutputCount) {
            // Typed, so that the validator has its say, then confirmed.
            edit->clear();
            for (const QChar c : randomText().left(4)) // keyClicks() knows ASCII only
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, c, Qt::NoModifier);
            QTest::keyClick(edit, Qt::Key_Return);
        } else {
            edit->setText(edit == ui.otherTextSend ? freeCommandText() : randomText());
        }
    } else if (roll < 14) {
        const auto combos = window->findChildren<QComboBox *>();
        QComboBox *combo = combos.at(pick(combos.size()));
        if (!usable(combo) || combo == ui.cBoxCOMn || combo->count() == 0)
            return;
        note("choose in " + combo->objectName());
        combo->setCurrentIndex(pick(combo->count())); // the mode switch among them
    } else if (roll < 15) {
        const auto tabs = window->findChildren<QTabWidget *>();
        QTabWidget *tab = tabs.at(pick(tabs.size()));
        if (!usable(tab))
            return;
        note("switch tab " + tab->objectName());
        tab->setCurrentIndex(pick(tab->count()));
    } else {
        QTableWidget *table = chance(0.5) ? ui.tWidgetIn : ui.tWidgetOut;
        if (!usable(table) || table->rowCount() == 0)
            return;
        const int row = pick(table->rowCount());
        note("cell of " + table->objectName());
        if (chance(0.7))
            table->setCurrentCell(row, pick(table->columnCount()));
        else // the operator names the device on that port
            table->setItem(row, 1, new QTableWidgetItem(randomText().left(40)));
    }
    ++actions;
}

bool TestRobustness::eventFilter(QObject *watched, QEvent *event)
{
    // Checked as each box is shown: a handler that re-enters itself inside
    // its own box may open thousands before a timer of this test runs again.
    if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(watched) && window) {
        int open = 0;
        for (const QMessageBox *box : window->findChildren<QMessageBox *>())
            open += box->isVisible() ? 1 : 0;
        deepestBoxes = qMax(deepestBoxes, open);
        if (open > deepestLegitimateBoxes)
            qFatal("%d message boxes open inside each other (\"%s\"): a handler re-entered "
                   "itself; %s",
                   open, qPrintable(static_cast<QMessageBox *>(watched)->text()),
                   qPrintable(replay()));
    }
    return false;
}

// ---- the run ---------------------------------------------------------------

void TestRobustness::randomOperatorAgainstHostileDevice()
{
    QTcpServer nobody; // a port nobody listens on: refused at once
    QVERIFY(nobody.listen(QHostAddress::LocalHost, 0));
    refusedPort = nobody.serverPort();
    nobody.close();
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    devicePort = server.serverPort();
    connect(&server, &QTcpServer::newConnection, this, &TestRobustness::acceptConnection);
    newPty();
    QVERIFY(pty->isValid());

    window = std::make_unique<ctrlUi>();
    probe = std::make_unique<CtrlUiProbe>(*window);
    window->show();
    probe->ui().lEdtCommunicationIPset->setText("127.0.0.1"); // never the default address

    qApp->installEventFilter(this);
    StallMeter meter;
    stalls = &meter;
    connect(&stepTimer, &QTimer::timeout, this, &TestRobustness::step);
    clock.start();
    stepTimer.start(0);
    runLoop.exec();
    stepTimer.stop();
    const qint64 runMs = clock.elapsed();
    const double stallCpuMs = meter.longestCpuMs();
    const qint64 stallWallMs = meter.longestWallMs();
    qApp->removeEventFilter(this);
    QVERIFY2(winding && !QApplication::activeModalWidget(),
             qPrintable("the run did not wind down: " + replay()));

    // The console still works: the next connection carries a refresh.
    MessageBoxRecorder lateBoxes;
    pumpPty();
    Ui_ctrlForm &ui = probe->ui();
    QVERIFY(QTest::qWaitFor([&] { return ui.pBtnCommunicationConnect->isEnabled(); }));
    ui.cBoxCommunicationSet->setCurrentIndex(1);
    if (probe->tcpClient().isOpen())
        ui.pBtnCommunicationConnect->click();
    if (!server.isListening())
        QVERIFY(server.listen(QHostAddress::LocalHost, devicePort)
                || server.listen(QHostAddress::LocalHost, 0));
    const int streamsBefore = int(streams.size());
    QVERIFY2(probe->connectTcp(server.serverPort()),
             qPrintable("no connection after the run: " + lateBoxes.summary() + "; " + replay()));
    QVERIFY2(QTest::qWaitFor([&] {
                 return int(streams.size()) > streamsBefore
                     && sessionStream->bytes.startsWith("*?!");
             }),
             qPrintable("no refresh after the run; " + replay()));
    window.reset(); // closes the links
    QVERIFY(QTest::qWaitFor([&] { return !session; }));
    pumpPty();

    int frames = 0;
    QString fault;
    for (const auto &stream : streams) {
        if (fault.isEmpty())
            fault = checkFrames(*stream, &frames);
    }

    QStringList warningLines;
    for (auto it = warnings.cbegin(); it != warnings.cend(); ++it)
        warningLines << QString("%1 x %2").arg(it.value()).arg(it.key());
    qInfo("%d actions, %d device replies, %d hang-ups, %d refusals, %d boxes (at most %d open), "
          "%d command frames on %d links in %lld ms; longest stall %.1f ms CPU, %lld ms wall",
          actions, replies, hangUps, refusals, boxes, deepestBoxes, frames, int(streams.size()),
          runMs, stallCpuMs, stallWallMs);
    qInfo("the longest stall came after: %s", qPrintable(beforeLongest.join(", ")));
    if (!warningLines.isEmpty())
        qInfo("Qt warnings: %s", qPrintable(warningLines.join("; ")));

    QVERIFY2(fault.isEmpty(), qPrintable(fault + "; " + replay()));
    QVERIFY2(actions >= minimumActions,
             qPrintable(QString("only %1 actions in %2 ms; ").arg(actions).arg(runMs) + replay()));
    QVERIFY2(stallCpuMs < stallLimitCpuMs && stallWallMs < stallLimitWallMs,
             qPrintable(QString("the window stalled %1 ms (CPU), %2 ms (wall) after %3; ")
                            .arg(stallCpuMs)
                            .arg(stallWallMs)
                            .arg(beforeLongest.join(", "))
                        + replay()));
}

QTEST_MAIN(TestRobustness)
#include "tst_robustness.moc"
