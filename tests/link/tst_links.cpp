#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"

#include <QtTest>

// Both links against a device played by the test: a pseudo-terminal for the
// serial line, a fake TCP device on 127.0.0.1.
class TestLinks : public QObject
{
    Q_OBJECT
private slots:
    void serialOpenAndClose();
    void serialGathersArrivalsWithin500ms();
    void serialOpenFailure();
    void serialLineLostWhileOpen();
    void tcpButtonFollowsTheConnection();
    void tcpHighestPort();
    void tcpFailuresReturnToIdle_data();
    void tcpFailuresReturnToIdle();
    void modeSwitchClosesTheOtherLink();
};

void TestLinks::serialOpenAndClose()
{
    PtyPair line;
    ctrlUi window;
    CtrlUiProbe probe(window);
    QCOMPARE(probe.ui().cBoxCOMbaudrate->count(), 22);
    probe.ui().cBoxCOMbaudrate->setCurrentText("115200");
    // Opened, closed within a running delay, and opened again twice: the
    // wiring must be made once per open and the delay must not outlive a close.
    for (int round = 0; round < 3; ++round) {
        QVERIFY(probe.openSerial(line.slavePath()));
        QCOMPARE(probe.ui().pBtnOpenCOM->text(), QStringLiteral("关闭串口"));
        QVERIFY(line.waitForBytes(3));
        QCOMPARE(line.take(), QByteArray("*?!"));
        QVERIFY(probe.ui().pBtnConnect->isEnabled());
        if (round == 2)
            break;
        line.write("A:");
        QTRY_VERIFY(probe.recvTimer().isActive());
        probe.ui().pBtnOpenCOM->click();
        QVERIFY(!probe.serialPort().isOpen() && !probe.recvTimer().isActive());
        QVERIFY(probe.ui().pBtnOpenCOM->text() != QStringLiteral("关闭串口"));
    }
    QCOMPARE(probe.serialPort().baudRate(), 115200);
    QCOMPARE(probe.serialPort().parity(), QSerialPort::NoParity);
    QSignalSpy readings(probe.ui().tEdtCurrentDataRES, &QTextEdit::textChanged);
    line.write("B:\x04"
               "ABCDx08-16-PQRS");
    QTRY_COMPARE(probe.ui().tWidgetOut->rowCount(), 16);
    QCOMPARE(readings.count(), 1);
    QCOMPARE(probe.log(),
             QStringLiteral("B:\x04"
                            "ABCDx08-16-PQRS"));
}

void TestLinks::serialGathersArrivalsWithin500ms()
{
    // The delay itself is under test, so the arrivals are timed.
    PtyPair line;
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.openSerial(line.slavePath()));
    QElapsedTimer clock;
    QList<qint64> readings;
    connect(probe.ui().tEdtCurrentDataRES, &QTextEdit::textChanged, this,
            [&] { readings << clock.elapsed(); });
    clock.start();
    line.write("A");
    QTimer::singleShot(100, this, [&] { line.write("B"); });
    QTimer::singleShot(400, this, [&] { line.write("C"); });
    QTimer::singleShot(600, this, [&] { line.write("D"); });
    QTRY_COMPARE_WITH_TIMEOUT(probe.log(), QStringLiteral("ABC\nD"), 3000);
    // Qt's coarse timers may fire up to 5 % early.
    QCOMPARE(readings.size(), 2);
    QVERIFY2(readings[0] >= 450 && readings[0] < 600, qPrintable(QString::number(readings[0])));
    QVERIFY2(readings[1] >= 1050 && readings[1] < 1300, qPrintable(QString::number(readings[1])));
}

void TestLinks::serialOpenFailure()
{
    ctrlUi window;
    CtrlUiProbe probe(window);
    const QString before = probe.ui().pBtnOpenCOM->text();
    MessageBoxRecorder boxes;
    QVERIFY(!probe.openSerial("/dev/pts/no-such-port"));
    QCOMPARE(boxes.summary(),
             QStringLiteral("打开串口失败 / 打开串口失败,请检查串口是否被占用或多次打开了本程序!"));
    QCOMPARE(probe.ui().pBtnOpenCOM->text(), before);
    QVERIFY(probe.ui().tEdtCurrentOutDataHEX->toPlainText().isEmpty());
}

void TestLinks::serialLineLostWhileOpen()
{
    PtyPair line, second;
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.openSerial(line.slavePath()));
    MessageBoxRecorder boxes;
    line.closeMaster();
    // Closed at the first error and reported once, not a storm of errors.
    QTRY_COMPARE(boxes.count(), 1);
    QVERIFY(!probe.serialPort().isOpen());
    QVERIFY2(boxes.summary().startsWith("串口错误 / 串口连接已断开: I"),
             qPrintable(boxes.summary()));
    QVERIFY(probe.openSerial(second.slavePath())); // and the console goes on
    QVERIFY(second.waitForBytes(3));
    QCOMPARE(boxes.count(), 1);
}

void TestLinks::tcpButtonFollowsTheConnection()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QPushButton *button = probe.ui().pBtnCommunicationConnect;
    for (int round = 0; round < 2; ++round) {
        probe.startTcp(device.port());
        QCOMPARE(button->text(), QStringLiteral("连接中..."));
        QVERIFY(!button->isEnabled() && !probe.ui().cBoxCommunicationSet->isEnabled());
        QTRY_COMPARE(button->text(), QStringLiteral("已连接矩阵"));
        QVERIFY(button->isEnabled() && probe.ui().cBoxCommunicationSet->isEnabled());
        QVERIFY(probe.ui().tWidgetOut->isEnabled());
        QVERIFY(device.waitForReceived(3 * (round + 1)));
        button->click(); // closed at once, even with the refresh still unsent
        QCOMPARE(button->text(), QStringLiteral("连接矩阵"));
        QVERIFY(!probe.tcpClient().isOpen());
    }
    QVERIFY(probe.connectTcp(device.port()));
    QTRY_COMPARE(device.connectionCount(), 3);
    QVERIFY(device.waitForReceived(9));
    QSignalSpy readings(probe.ui().tEdtCurrentDataRES, &QTextEdit::textChanged);
    device.send("A:0102");
    QTRY_COMPARE(probe.log(), QStringLiteral("A:0102"));
    QCOMPARE(readings.count(), 1); // each reconnect wired reception once
    QCOMPARE(device.received(), QByteArray("*?!*?!*?!"));
    QCOMPARE(boxes.count(), 0);
}

void TestLinks::tcpHighestPort()
{
    // 65535 is the last port the form accepts; it must reach the socket whole.
    FakeDevice device;
    if (!device.listen(65535))
        QSKIP("127.0.0.1:65535 is taken on this machine; cannot test the highest port");
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(probe.connectTcp(65535));
    QVERIFY(device.waitForReceived(3));
    QCOMPARE(device.received(), QByteArray("*?!"));
    QCOMPARE(probe.tcpClient().peerPort(), quint16(65535));
    QCOMPARE(boxes.count(), 0);
}

void TestLinks::tcpFailuresReturnToIdle_data()
{
    QTest::addColumn<QString>("port"); // "device": the fake device's own port
    QTest::addColumn<QString>("box");
    QTest::newRow("connection refused") << "closed"
                                        << "网络 / 产生如下错误: Connection refused.";
    QTest::newRow("device hangs up")
        << "device"
        << "网络 / 产生如下错误: The remote host closed the connection.";
    // Refused before any attempt, rather than wrapped round or made port 0.
    for (const char *text :
         {"", "0", "65536", "73662", "99999999999", "+8126", " 8126", "81a", "-1"})
        QTest::newRow(*text ? text : "empty") << QString(text) << "网络 / 请输入正确的端口号!";
}

void TestLinks::tcpFailuresReturnToIdle()
{
    QFETCH(QString, port);
    QFETCH(QString, box);
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    const quint16 devicePort = device.port();
    if (port == "closed")
        device.stopListening();
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    probe.ui().lEdtCommunicationIPset->setText("127.0.0.1"); // never the default address
    const bool typed = port != "closed" && port != "device";
    probe.ui().lEdtCommunicationPort->setText(typed ? port : QString::number(devicePort));
    probe.ui().pBtnCommunicationConnect->click();
    if (port == "device") {
        QTRY_COMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("已连接矩阵"));
        device.closeClient();
    }
    QTRY_COMPARE(boxes.summary(), box);
    QCOMPARE(boxes.boxes().first().icon,
             box.contains("端口号") ? QMessageBox::Warning : QMessageBox::Information);
    // Idle: no claim of a connection, and a command is refused, not lost.
    QCOMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("连接矩阵"));
    QVERIFY(probe.ui().pBtnCommunicationConnect->isEnabled());
    QVERIFY(probe.ui().cBoxCommunicationSet->isEnabled() && !probe.tcpClient().isOpen());
    probe.sendCommand("*!");
    QCOMPARE(boxes.boxes().last().title, QStringLiteral("无法发送数据"));
}

void TestLinks::modeSwitchClosesTheOtherLink()
{
    PtyPair line;
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(probe.openSerial(line.slavePath()));
    line.write("A:01");
    QTRY_VERIFY(probe.recvTimer().isActive());
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    QCOMPARE(probe.ui().sWidgetCommunication->currentIndex(), 1);
    QVERIFY(!probe.serialPort().isOpen() && !probe.recvTimer().isActive());
    QVERIFY(!probe.ui().pBtnConnect->isEnabled() && !probe.ui().lEdtInputCount->isEnabled());
    QVERIFY(probe.log().isEmpty()); // what had arrived is dropped with the line

    QVERIFY(probe.connectTcp(device.port()));
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1); // the same item: nothing runs
    QVERIFY(probe.tcpClient().isOpen());
    probe.ui().cBoxCommunicationSet->setCurrentIndex(0);
    QCOMPARE(probe.ui().sWidgetCommunication->currentIndex(), 0);
    QVERIFY(!probe.tcpClient().isOpen() && !probe.ui().pBtnRefresh->isEnabled());
    QCOMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("连接矩阵"));
    QVERIFY(!QObject::disconnect(&probe.tcpClient(), SIGNAL(readyRead()), &window,
                                 SLOT(readOutRecvData())));
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
