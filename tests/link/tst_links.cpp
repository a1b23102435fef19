#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"
#include "support/stallmeter.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include <unistd.h>

namespace {
// The log takes a long reading as paragraphs of this many characters.
constexpr int logPieceSize = 4096;

// The paragraphs one reading of these characters (none outside the BMP) makes in the log.
QStringList logPieces(const QString &text)
{
    QStringList pieces {text.left(logPieceSize)};
    for (int at = logPieceSize; at < text.size(); at += logPieceSize)
        pieces << text.mid(at, logPieceSize);
    return pieces;
}

qint64 residentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// Fails at once when a box opens while another is shown: a handler that
// re-enters itself inside its own box nests boxes until the stack runs out,
// and the test could not return to say so.
class NestedBoxGuard : public QObject
{
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !qobject_cast<QMessageBox *>(watched))
            return false;
        int shown = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            shown += qobject_cast<QMessageBox *>(widget) && widget->isVisible();
        if (shown > 1)
            qFatal("\"%s\" opened inside another box: a handler re-entered itself",
                   qPrintable(static_cast<QMessageBox *>(watched)->text()));
        return false;
    }
};
} // namespace

// Both links and the send routine against a device played by the test: a
// pseudo-terminal for the serial line, a fake TCP device on 127.0.0.1.
class TestLinks : public QObject
{
    Q_OBJECT
    NestedBoxGuard guard;
    MessageBoxRecorder boxes; // any box is a failure unless the test clears it
    std::unique_ptr<PtyPair> line;
    std::unique_ptr<FakeDevice> device;
    std::unique_ptr<ctrlUi> window; // goes first, closing its links
    std::unique_ptr<CtrlUiProbe> probe;
    Ui_ctrlForm *ui = nullptr;

    // The TCP link open without the window's reading slot, so that exactly the bytes of
    // READING wait unread for one call of it to take them as one reading.
    bool readingWaits(const QByteArray &reading)
    {
        if (probe->tcpClient().state() != QAbstractSocket::ConnectedState) {
            ui->cBoxCommunicationSet->setCurrentIndex(1);
            probe->tcpClient().connectToHost(QHostAddress::LocalHost, device->port());
            if (!probe->tcpClient().waitForConnected(5000) || !device->waitForClient())
                return false;
        }
        device->send(reading);
        return QTest::qWaitFor(
            [&] { return probe->tcpClient().bytesAvailable() == reading.size(); }, 10000);
    }
    void readAndKeepReading()
    {
        QMetaObject::invokeMethod(window.get(), "readOutRecvData");
        connect(&probe->tcpClient(), SIGNAL(readyRead()), window.get(), SLOT(readOutRecvData()));
    }
    static QByteArray stalled(const StallMeter &stalls)
    {
        return QString("stalled %1 ms (CPU), %2 ms (wall)")
            .arg(stalls.longestCpuMs())
            .arg(stalls.longestWallMs())
            .toUtf8();
    }

private slots:
    void initTestCase() { qApp->installEventFilter(&guard); }
    void init()
    {
        window = std::make_unique<ctrlUi>();
        probe = std::make_unique<CtrlUiProbe>(*window);
        ui = &probe->ui();
        line = std::make_unique<PtyPair>();
        device = std::make_unique<FakeDevice>();
        QVERIFY(line->isValid() && device->listen());
        boxes.clear();
    }
    void cleanup()
    {
        QVERIFY2(boxes.count() == 0, qPrintable(boxes.summary()));
        window.reset();
    }

    void serialOpenCloseAndReading()
    {
        QCOMPARE(ui->cBoxCOMbaudrate->count(), 22);
        ui->cBoxCOMbaudrate->setCurrentText("115200");
        // Closed within a running delay and opened again, twice: the wiring is
        // made once per open and the delay does not outlive a close.
        for (int round = 1; round <= 3; ++round) {
            QVERIFY(probe->openSerial(line->slavePath()));
            QCOMPARE(ui->pBtnOpenCOM->text(), QString("关闭串口"));
            QVERIFY(line->waitForBytes(3) && ui->pBtnConnect->isEnabled());
            QCOMPARE(line->take(), QByteArray("*?!"));
            if (round == 3)
                break;
            line->write("A:");
            QTRY_VERIFY(probe->recvTimer().isActive());
            ui->pBtnOpenCOM->click();
            QVERIFY(!probe->serialPort().isOpen() && !probe->recvTimer().isActive());
            QVERIFY(ui->pBtnOpenCOM->text() != QString("关闭串口"));
        }
        QCOMPARE(probe->serialPort().baudRate(), 115200);
        QCOMPARE(probe->serialPort().parity(), QSerialPort::NoParity);
        // Arrivals within 500 ms of the first are read together, and once: a
        // later one starts a new delay.
        QElapsedTimer clock;
        QList<qint64> readings;
        connect(ui->tEdtCurrentDataRES, &QTextEdit::textChanged, this,
                [&] { readings << clock.elapsed(); });
        clock.start();
        line->write("B:\004ABCD");
        QTimer::singleShot(100, this, [&] { line->write("x08-16-"); });
        QTimer::singleShot(400, this, [&] { line->write("PQRS"); });
        QTimer::singleShot(600, this, [&] { line->write("D"); });
        QTRY_COMPARE_WITH_TIMEOUT(probe->log(), QString("B:\004ABCDx08-16-PQRS\nD"), 3000);
        QCOMPARE(ui->tWidgetOut->rowCount(), 16); // parsed as one reading
        // Qt's coarse timers may fire up to 5 % early; a loaded machine fires late.
        QCOMPARE(readings.size(), 2);
        QVERIFY2(readings[0] >= 450 && readings[0] < 600, qPrintable(QString::number(readings[0])));
        QVERIFY2(readings[1] >= 1050 && readings[1] < 1300,
                 qPrintable(QString::number(readings[1])));
    }

    void serialFailuresReportedOnce()
    {
        const QString before = ui->pBtnOpenCOM->text();
        QVERIFY(!probe->openSerial("/dev/pts/no-such-port"));
        QCOMPARE(boxes.summary(),
                 QString("打开串口失败 / 打开串口失败,请检查串口是否被占用或多次打开了本程序!"));
        QCOMPARE(ui->pBtnOpenCOM->text(), before);
        QVERIFY(ui->tEdtCurrentOutDataHEX->toPlainText().isEmpty()); // nothing sent
        boxes.clear();

        // The line lost while open: closed at the first error and reported once,
        // not a storm of errors, and the console goes on.
        QVERIFY(probe->openSerial(line->slavePath()));
        line->closeMaster();
        QTRY_COMPARE(boxes.count(), 1);
        QVERIFY(!probe->serialPort().isOpen());
        QVERIFY2(boxes.summary().startsWith("串口错误 / 串口连接已断开: I"),
                 qPrintable(boxes.summary()));
        QCOMPARE(boxes.boxes().first().format, Qt::PlainText); // the system's words, as they are
        boxes.clear();
        PtyPair second;
        QVERIFY(probe->openSerial(second.slavePath()) && second.waitForBytes(3));
    }

    void tcpButtonFollowsTheConnection_data()
    {
        QTest::addColumn<quint16>("port");
        QTest::newRow("any free port") << quint16(0);
        QTest::newRow("65535, the highest the form takes") << quint16(65535);
    }

    void tcpButtonFollowsTheConnection()
    {
        QFETCH(quint16, port);
        if (port && (device->stopListening(), !device->listen(port)))
            QSKIP("127.0.0.1:65535 is taken on this machine");
        QPushButton *button = ui->pBtnCommunicationConnect;
        QSignalSpy readings(ui->tEdtCurrentDataRES, &QTextEdit::textChanged);
        for (int round = 1; round <= 3; ++round) {
            probe->startTcp(device->port());
            QCOMPARE(button->text(), QString("连接中..."));
            QVERIFY(!button->isEnabled() && !ui->cBoxCommunicationSet->isEnabled());
            QTRY_COMPARE(button->text(), QString("已连接矩阵"));
            QVERIFY(button->isEnabled() && ui->cBoxCommunicationSet->isEnabled());
            QVERIFY(ui->tWidgetOut->isEnabled() && device->waitForReceived(3 * round));
            if (round == 3)
                break;
            button->click(); // closed at once
            QCOMPARE(button->text(), QString("连接矩阵"));
            QVERIFY(!probe->tcpClient().isOpen());
        }
        QCOMPARE(probe->tcpClient().peerPort(), device->port());
        device->send("A:0102");
        QTRY_COMPARE(probe->log(), QString("A:0102"));
        QCOMPARE(readings.count(), 1); // each reconnect wired reception once
        QCOMPARE(device->received(), QByteArray("*?!*?!*?!"));
    }

    void tcpFailureHandledOnce_data()
    {
        QTest::addColumn<QString>("trigger"); // "refused", "hang-up", or the port typed
        QTest::addColumn<bool>("earlierLink"); // leaves the routing buttons enabled
        QTest::addColumn<QString>("button"); // clicked at once after the trigger
        QTest::newRow("refused, 分辨率 queued while connecting")
            << "refused" << false << "outResPushButton";
        QTest::newRow("refused, 刷新 after an earlier link") << "refused" << true << "pBtnRefresh";
        QTest::newRow("refused, 查询 after an earlier link") << "refused" << true << "pBtnQueryReq";
        QTest::newRow("hang-up with commands queued") << "hang-up" << true << "outResPushButton";
        // Refused before any attempt, rather than wrapped round or made port 0.
        for (const QString &port :
             QString(",0,65536,73662,99999999999,+8126, 8126,81a,-1").split(','))
            QTest::newRow(qPrintable("port \"" + port + '"')) << port << false << QString();
    }

    void tcpFailureHandledOnce()
    {
        QFETCH(QString, trigger);
        QFETCH(bool, earlierLink);
        QFETCH(QString, button);
        const QString box = trigger == "refused" ? "网络 / 产生如下错误: Connection refused."
            : trigger == "hang-up" ? "网络 / 产生如下错误: The remote host closed the connection."
                                   : "网络 / 请输入正确的端口号!";
        FakeDevice next;
        QVERIFY(next.listen());
        ui->outResLineEdit->setText("1");
        if (earlierLink)
            QVERIFY(probe->connectTcp(device->port()) && device->waitForReceived(3));
        if (trigger == "hang-up") {
            device->closeClient();
        } else {
            if (earlierLink)
                ui->pBtnCommunicationConnect->click();
            const QString port = QString::number(device->port());
            device->stopListening();
            ui->cBoxCommunicationSet->setCurrentIndex(1);
            ui->lEdtCommunicationIPset->setText("127.0.0.1"); // never the default address
            ui->lEdtCommunicationPort->setText(trigger == "refused" ? port : trigger);
            ui->pBtnCommunicationConnect->click();
        }
        if (!button.isEmpty()) // queued in the socket while it connects or behind the hang-up
            window->findChild<QPushButton *>(button)->click();
        QVERIFY2(QTest::qWaitFor(
                     [&] { return boxes.count() > 0 && !QApplication::activeModalWidget(); }),
                 "no box");
        QCOMPARE(boxes.summary(), box); // one box, not one inside the other
        QCOMPARE(boxes.boxes().first().icon,
                 box.contains("端口号") ? QMessageBox::Warning : QMessageBox::Information);
        if (!box.contains("端口号")) // the socket's words, as they are
            QCOMPARE(boxes.boxes().first().format, Qt::PlainText);
        boxes.clear(); // and cleanup() sees that no other box follows

        // Idle, and the next connection works and carries nothing of the failed one.
        QCOMPARE(ui->pBtnCommunicationConnect->text(), QString("连接矩阵"));
        QVERIFY(ui->pBtnCommunicationConnect->isEnabled() && ui->cBoxCommunicationSet->isEnabled());
        QVERIFY(!probe->tcpClient().isOpen());
        QVERIFY(probe->connectTcp(next.port()));
        ui->pBtnQueryReq->click();
        QVERIFY(next.waitForReceived(5));
        QCOMPARE(next.received(), QByteArray("*?!*!"));
    }

    void modeSwitchClosesTheOtherLink()
    {
        QVERIFY(probe->openSerial(line->slavePath()));
        line->write("A:01");
        QTRY_VERIFY(probe->recvTimer().isActive());
        ui->cBoxCommunicationSet->setCurrentIndex(1);
        QCOMPARE(ui->sWidgetCommunication->currentIndex(), 1);
        QVERIFY(!probe->serialPort().isOpen() && !probe->recvTimer().isActive());
        QVERIFY(!ui->pBtnConnect->isEnabled() && !ui->lEdtInputCount->isEnabled());
        QVERIFY(probe->log().isEmpty()); // what had arrived is dropped with the line

        QVERIFY(probe->connectTcp(device->port()));
        ui->cBoxCommunicationSet->setCurrentIndex(0);
        QCOMPARE(ui->sWidgetCommunication->currentIndex(), 0);
        QVERIFY(!probe->tcpClient().isOpen() && !ui->pBtnRefresh->isEnabled());
        QCOMPARE(ui->pBtnCommunicationConnect->text(), QString("连接矩阵"));
        QVERIFY(!QObject::disconnect(&probe->tcpClient(), SIGNAL(readyRead()), window.get(),
                                     SLOT(readOutRecvData())));
    }

    void longReadingKeepsTheWindowResponsive_data()
    {
        QTest::addColumn<QByteArray>("reading");
        QTest::addColumn<int>("outputs"); // rows after the reading; 0: unchanged
        QTest::addColumn<bool>("clear"); // 清除显示 at once: what is not yet shown goes too
        auto digits = [](int n) { return QByteArray("0123456789").repeated(n / 10 + 1).left(n); };
        QTest::newRow("1 MB of digits") << digits(1024 * 1024) << 0 << false;
        // Parsed whole: the counts sit in the last ten bytes.
        QTest::newRow("device information with a 1 MB model")
            << QByteArray("B:\004ABCDx") + digits(1024 * 1024) + "08-16-PQRS" << 16 << false;
        QTest::newRow("256 KB, then 清除显示") << digits(256 * 1024) << 0 << true;
    }

    void longReadingKeepsTheWindowResponsive()
    {
        QFETCH(QByteArray, reading);
        QFETCH(int, outputs);
        QFETCH(bool, clear);
        window->show();
        for (int i = 0; i < 100; ++i) // enough readings for a scroll bar
            ui->tEdtCurrentDataRES->append("A:0102");
        const QString before = probe->log();
        QVERIFY(readingWaits(reading));
        StallMeter stalls;
        readAndKeepReading();
        if (clear)
            ui->pushButton->click();
        device->send("C:0201"); // an ordinary reply behind it keeps its place
        QTextDocument *log = ui->tEdtCurrentDataRES->document();
        QVERIFY2(QTest::qWaitFor([&] { return log->lastBlock().text() == "C:0201"; }, 30000),
                 "the log never showed the reply behind the long reading");
        QVERIFY2(stalls.longestCpuMs() < allowedStallMs, stalled(stalls));

        // Every byte, in order; a long reading may take several paragraphs.
        QString expected = before + '\n' + QString::fromLatin1(reading) + "\nC:0201";
        QCOMPARE(probe->log().remove('\n'), clear ? QString("C:0201") : expected.remove('\n'));
        if (outputs)
            QCOMPARE(ui->tWidgetOut->rowCount(), outputs);
    }

    // The log takes text as characters, and for any reading that Qt would not take for HTML the
    // document is the one QTextEdit::append makes: the same paragraphs, formats and blank runs,
    // CR, LF and CRLF breaking paragraphs, an empty reading on an empty log adding nothing, and
    // the view following the end.
    void ordinaryReadingsKeepTheirParagraphs_data()
    {
        QTest::addColumn<int>("earlier"); // readings already in the log
        QTest::addColumn<QByteArrayList>("readings");
        auto row = [](const char *name, int earlier, const QByteArrayList &readings) {
            QTest::newRow(name) << earlier << readings;
        };
        const QByteArray digits = QByteArray("0123456789").repeated(1000);
        row("replies in a row", 100, {"A:0102", "B:\004ABCDx08-16-PQRS", "C:"});
        row("empty readings on an empty log", 0, {"", "", "A:01"});
        row("empty readings between", 3, {"A", "", "", "B", ""});
        row("blank runs", 1, {" ", "\t\t", "A   B  ", u8"\u3000"});
        row("CR, LF and CRLF inside and at the ends", 2,
            {"\rA\nB\r\nC\r", "\n", "\r\n\r\n", "D\n\rE", "\r\r"});
        row("breaks on an empty log", 0, {"\r\nA", "\n"});
        row("text stops at a zero byte", 1, {QByteArray("A:\0\x01", 4), QByteArray("\0B", 2)});
        row("invalid UTF-8, CJK, emoji", 1, {"\xff\xfe", u8"\u4e2d\u6587", u8"\U0001f600"});
        row("Unicode paragraph and line separators, no-break space", 1,
            {u8"A\u2029B", u8"C\u2028D", u8"E\u00a0F"});
        row("less-than signs that are no tags", 1, {"a < 0 > c", "<<>>", "<1>", "1 <x y>"});
        row("long readings in pieces between short ones", 100,
            {"A:01", digits, "B:02", QByteArray("line\r\n").repeated(1500)});
    }

    void ordinaryReadingsKeepTheirParagraphs()
    {
        QFETCH(int, earlier);
        QFETCH(QByteArrayList, readings);
        QTextEdit *log = ui->tEdtCurrentDataRES;
        QTextEdit reference; // filled by Qt's own append
        reference.setReadOnly(true);
        reference.setFont(log->font());
        window->show();
        for (int i = 0; i < earlier; ++i) {
            log->append("A:0102");
            reference.append("A:0102");
        }
        for (const QByteArray &reading : readings) {
            QVERIFY2(readingWaits(reading), reading.left(40).toPercentEncoding().constData());
            QMetaObject::invokeMethod(window.get(), "readOutRecvData");
            const int zero = reading.indexOf('\0');
            const QString text = QString::fromUtf8(zero < 0 ? reading : reading.left(zero));
            QVERIFY(!Qt::mightBeRichText(text));
            for (const QString &piece : logPieces(text))
                reference.append(piece);
        }
        QTRY_COMPARE_WITH_TIMEOUT(log->document()->blockCount(), reference.document()->blockCount(),
                                  5000);
        QCOMPARE(log->toHtml(), reference.toHtml());
        QCOMPARE(log->toPlainText(), reference.toPlainText());
        QScrollBar *bar = log->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(bar->maximum() > 0 || earlier < 100); // with 100 readings the view has to follow
    }

    // Device readings and typed commands are characters, whatever markup they hold: Qt would
    // have opened /dev/zero as an image, laid out nested tables for minutes, and drawn tags and
    // entities. The log and the preview show exactly the characters (readings as UTF-8 up to a
    // zero byte, commands as Latin-1), the window stays responsive and small, and the next
    // routing map is applied.
    void outsideTextShownLiterally_data()
    {
        QTest::addColumn<bool>("typed"); // a free command, else a reading
        QTest::addColumn<QByteArray>("input"); // as typed in UTF-8, or as read
        QTest::addColumn<QString>("shown"); // in the preview, or as the log's last reading
        auto row = [](const char *name, bool typed, const QByteArray &input, QString shown = {}) {
            const QString typedText = QString::fromLatin1(input); // the preview's reading
            QTest::newRow(name) << typed << input << (shown.isNull() ? typedText : shown);
        };
        const QByteArray table("<table><tr><td>"), image("<img src=\"/dev/zero\">");
        row("image of /dev/zero", false, image);
        row("20 nested tables", false, table.repeated(20));
        row("10,000 nested tables, 150 KB in pieces", false, table.repeated(10000),
            logPieces(table.repeated(10000)).join('\n'));
        row("bold", false, "<b>on air</b>");
        row("entities", false, "&lt;b&gt; &#x41;&amp;");
        row("tag after CR", false, "\r<b>x</b>", "\n<b>x</b>");
        row("tag after LF", false, "\n<b>x</b>", "\n<b>x</b>");
        row("image after an invalid byte", false, "\xff" + image, "\ufffd" + image);
        row("markup up to a zero byte", false, "<b>x</b>" + QByteArray(1, '\0') + image,
            "<b>x</b>");
        row("typed image of /dev/zero", true, '*' + image + '!');
        // With blanks: as many nested tables as the line edit holds.
        row("typed nested tables", true,
            '*' + QByteArray("<table border=1><tr><td>").repeated(1365) + '!');
        row("typed bold and entities", true, "*<b>on</b>&lt;&#x41;!");
        row("typed tag after a non-ASCII letter, shown as Latin-1", true, "*\xc3\xbf<b>x</b>!");
    }

    void outsideTextShownLiterally()
    {
        QFETCH(bool, typed);
        QFETCH(QByteArray, input);
        QFETCH(QString, shown);
        window->show();
        probe->parseStatusReply("B:\004ABCDx04-04-PQRS"); // four outputs for the map below
        if (typed) {
            QVERIFY(probe->connectTcp(device->port()) && device->waitForReceived(3));
            ui->otherTextSend->setText(QString::fromUtf8(input));
        } else {
            QVERIFY(readingWaits(input));
        }
        const qint64 residentBefore = residentBytes();
        StallMeter stalls;
        if (typed) {
            ui->otherSendButton->click();
            QCOMPARE(ui->tEdtCurrentOutDataASCII->toPlainText(), shown);
            QVERIFY(device->waitForReceived(3 + input.size()));
            QCOMPARE(device->received().mid(3), input);
        } else {
            readAndKeepReading();
        }
        device->send("A:04030201");
        QVERIFY2(QTest::qWaitFor([&] { return probe->outputSource(0) == 4; }),
                 "the routing map behind was not applied");
        QCOMPARE(probe->outputSource(3), 1);
        if (!typed)
            QTRY_COMPARE_WITH_TIMEOUT(probe->log(), shown + "\nA:04030201", 10000);
        QVERIFY2(stalls.longestCpuMs() < allowedStallMs, stalled(stalls));
        // A short text costs next to nothing, an image of /dev/zero included; the long ones cost
        // what their length costs the log and the previews, more so under the sanitizers.
        const qint64 grown = residentBytes() - residentBefore;
        if (input.size() <= 1024)
            QVERIFY2(grown < 8 << 20, qPrintable(QString("%1 KB more resident").arg(grown >> 10)));
    }

    void sendCommand_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("ascii");
        QTest::addColumn<QString>("hex");
        QTest::newRow("refresh") << QByteArray("*?!") << QString("*?!") << "2A 3F 21";
        QTest::newRow("zero byte: text stops, hex and the write go on")
            << QByteArray("*1\0<2!\xff\r\n", 9) << QString("*1") << "2A 31 00 3C 32 21 FF 0D 0A";
        QTest::newRow("above 0x7F as Latin-1")
            << QByteArray("\xe4\xb8\xad!") << QString::fromLatin1("\xe4\xb8\xad!") << "E4 B8 AD 21";
        QTest::newRow("empty") << QByteArray() << QString() << QString();
    }

    void sendCommand()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, ascii);
        QFETCH(QString, hex);
        ui->tEdtCurrentOutDataHEX->setText("old"); // replaced, not appended to
        probe->sendCommand(command);
        QCOMPARE(ui->tEdtCurrentOutDataASCII->toPlainText(), ascii);
        QCOMPARE(ui->tEdtCurrentOutDataHEX->toPlainText(), hex);
        // No link: previews all the same, then one warning, and the command is dropped.
        QCOMPARE(boxes.summary(), QString("无法发送数据 / 无可用连接！请先打开串口或连接网络"));
        QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
        boxes.clear();

        // Both open (the window never allows it): the serial line takes it. Then
        // the TCP link. Every byte, nothing added.
        probe->tcpClient().connectToHost(QHostAddress::LocalHost, device->port());
        probe->serialPort().setPortName(line->slavePath());
        QVERIFY(probe->tcpClient().waitForConnected(5000));
        QVERIFY(probe->serialPort().open(QIODevice::ReadWrite));
        probe->sendCommand(command);
        QVERIFY(line->waitForBytes(command.size()));
        QCOMPARE(line->take(), command);
        probe->serialPort().close();
        probe->sendCommand(command);
        QVERIFY(device->waitForReceived(command.size()));
        QCOMPARE(device->received(), command);
        // A port open for reading only refuses every write: reported, not passed over.
        probe->tcpClient().close();
        QVERIFY(probe->serialPort().open(QIODevice::ReadOnly));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QIODevice::write.*ReadOnly device"));
        probe->sendCommand(command);
        QCOMPARE(boxes.summary(), "发送失败 / 数据发送失败: " + probe->serialPort().errorString());
        QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
        QCOMPARE(boxes.boxes().first().format, Qt::PlainText);
        boxes.clear();
    }
};

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
