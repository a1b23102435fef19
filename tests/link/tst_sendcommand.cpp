#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"

#include <QtTest>

// The one road out of the console: previews, choice of link, one write.
class TestSendCommand : public QObject
{
    Q_OBJECT

private slots:
    void previews_data();
    void previews();
    void noLinkWarnsAndDrops();
    void bytesReachTcpDevice_data();
    void bytesReachTcpDevice();
    void bytesReachSerialLine();
    void serialTakesPrecedenceOverTcp();
    void refusedWriteIsReported();
};

void TestSendCommand::previews_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("ascii");
    QTest::addColumn<QString>("hex");

    QTest::newRow("refresh") << QByteArray("*?!") << "*?!"
                             << "2A 3F 21";
    QTest::newRow("zero byte: text stops, hex goes on") << QByteArray("*1\0<2!", 6) << "*1"
                                                        << "2A 31 00 3C 32 21";
    QTest::newRow("leading zero byte: empty text") << QByteArray("\0*!", 3) << ""
                                                   << "00 2A 21";
    QTest::newRow("bytes above 0x7F read as Latin-1")
        << QByteArray("\xe4\xb8\xad!") << QString::fromLatin1("\xe4\xb8\xad!") << "E4 B8 AD 21";
    QTest::newRow("empty command") << QByteArray() << ""
                                   << "";
}

void TestSendCommand::previews()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, ascii);
    QFETCH(QString, hex);

    ctrlUi window;
    CtrlUiProbe probe(window);
    // Earlier contents are replaced, not appended to.
    probe.ui().tEdtCurrentOutDataASCII->setText("old");
    probe.ui().tEdtCurrentOutDataHEX->setText("old");

    MessageBoxRecorder boxes;
    probe.sendCommand(command);

    QCOMPARE(probe.ui().tEdtCurrentOutDataASCII->toPlainText(), ascii);
    QCOMPARE(probe.ui().tEdtCurrentOutDataHEX->toPlainText(), hex);
    QCOMPARE(boxes.count(), 1); // no link open: previews first, then the warning
}

void TestSendCommand::noLinkWarnsAndDrops()
{
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;

    probe.sendCommand("*?!");
    probe.sendCommand("*!");

    QCOMPARE(boxes.count(), 2);
    for (const RecordedBox &box : boxes.boxes()) {
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.title, QStringLiteral("无法发送数据"));
        QCOMPARE(box.text, QStringLiteral("无可用连接！请先打开串口或连接网络"));
    }
    // The previews show the last command even though it was dropped.
    QCOMPARE(probe.ui().tEdtCurrentOutDataASCII->toPlainText(), QStringLiteral("*!"));
}

void TestSendCommand::bytesReachTcpDevice_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("refresh") << QByteArray("*?!");
    QTest::newRow("zero byte and what follows it") << QByteArray("*1\0<2!", 6);
    QTest::newRow("bytes above 0x7F unchanged") << QByteArray("\xe4\xb8\xad\xff");
    QTest::newRow("CR LF are not added, only passed") << QByteArray("*!\r\n");
}

void TestSendCommand::bytesReachTcpDevice()
{
    QFETCH(QByteArray, command);

    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.tcpClient().connectToHost(QHostAddress::LocalHost, device.port());
    QVERIFY(probe.tcpClient().waitForConnected(5000));
    QVERIFY(device.waitForClient());

    MessageBoxRecorder boxes;
    probe.sendCommand(command);
    QVERIFY(device.waitForReceived(command.size()));
    QCOMPARE(device.received(), command);
    QCOMPARE(boxes.count(), 0);
}

void TestSendCommand::bytesReachSerialLine()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.serialPort().setPortName(line.slavePath());
    QVERIFY(probe.serialPort().open(QIODevice::ReadWrite));

    const QByteArray command("*>O4 SET1080P60 END!\0\xff", 22);
    probe.sendCommand(command);
    QVERIFY(line.waitForBytes(command.size()));
    QCOMPARE(line.take(), command);
}

void TestSendCommand::serialTakesPrecedenceOverTcp()
{
    // Not reachable through the window (the mode switch closes the other
    // link), but should both be open the serial line gets the command.
    PtyPair line;
    FakeDevice device;
    QVERIFY(line.isValid() && device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.tcpClient().connectToHost(QHostAddress::LocalHost, device.port());
    QVERIFY(probe.tcpClient().waitForConnected(5000));
    probe.serialPort().setPortName(line.slavePath());
    QVERIFY(probe.serialPort().open(QIODevice::ReadWrite));

    probe.sendCommand("*!");
    QVERIFY(line.waitForBytes(2));
    QCOMPARE(line.take(), QByteArray("*!"));

    // With the serial line closed the next command goes to the socket, and
    // it is the first thing the device sees.
    probe.serialPort().close();
    probe.sendCommand("*?!");
    QVERIFY(device.waitForReceived(3));
    QCOMPARE(device.received(), QByteArray("*?!"));
}

void TestSendCommand::refusedWriteIsReported()
{
    // A port opened for reading only refuses every write; that must not
    // pass for a command sent.
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.serialPort().setPortName(line.slavePath());
    QVERIFY(probe.serialPort().open(QIODevice::ReadOnly));

    MessageBoxRecorder boxes;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QIODevice::write.*ReadOnly device"));
    probe.sendCommand("*?!");

    QCOMPARE(boxes.count(), 1);
    const RecordedBox box = boxes.boxes().first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("发送失败"));
    QVERIFY2(box.text.startsWith(QStringLiteral("数据发送失败: ")), qPrintable(box.text));
    QCOMPARE(box.text, QStringLiteral("数据发送失败: %1").arg(probe.serialPort().errorString()));
}

QTEST_MAIN(TestSendCommand)
#include "tst_sendcommand.moc"
