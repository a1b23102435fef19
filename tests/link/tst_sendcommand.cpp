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
    void previewsAndNoLink_data();
    void previewsAndNoLink();
    void bytesReachTheOpenLink();
    void refusedWriteIsReported();
};

void TestSendCommand::previewsAndNoLink_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("ascii");
    QTest::addColumn<QString>("hex");
    QTest::newRow("refresh") << QByteArray("*?!") << "*?!"
                             << "2A 3F 21";
    QTest::newRow("zero byte: text stops, hex goes on") << QByteArray("*1\0<2!", 6) << "*1"
                                                        << "2A 31 00 3C 32 21";
    QTest::newRow("above 0x7F as Latin-1")
        << QByteArray("\xe4\xb8\xad!") << QString::fromLatin1("\xe4\xb8\xad!") << "E4 B8 AD 21";
    QTest::newRow("empty") << QByteArray() << ""
                           << "";
}

void TestSendCommand::previewsAndNoLink()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, ascii);
    QFETCH(QString, hex);
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.ui().tEdtCurrentOutDataHEX->setText("old"); // replaced, not appended to
    MessageBoxRecorder boxes;
    probe.sendCommand(command);
    QCOMPARE(probe.ui().tEdtCurrentOutDataASCII->toPlainText(), ascii);
    QCOMPARE(probe.ui().tEdtCurrentOutDataHEX->toPlainText(), hex);
    // No link: previews all the same, then one warning, and the command is dropped.
    QCOMPARE(boxes.summary(), QStringLiteral("无法发送数据 / 无可用连接！请先打开串口或连接网络"));
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
}

void TestSendCommand::bytesReachTheOpenLink()
{
    const QByteArray command("*>O4 SET1080P60 END!\0\xff\r\n", 24); // every byte, nothing added
    PtyPair line;
    FakeDevice device;
    QVERIFY(line.isValid() && device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.tcpClient().connectToHost(QHostAddress::LocalHost, device.port());
    QVERIFY(probe.tcpClient().waitForConnected(5000));
    probe.serialPort().setPortName(line.slavePath());
    QVERIFY(probe.serialPort().open(QIODevice::ReadWrite));

    probe.sendCommand(command); // both open: the serial line takes it
    QVERIFY(line.waitForBytes(command.size()));
    QCOMPARE(line.take(), command);
    probe.serialPort().close();
    probe.sendCommand(command);
    QVERIFY(device.waitForReceived(command.size()));
    QCOMPARE(device.received(), command);
}

void TestSendCommand::refusedWriteIsReported()
{
    // A port open for reading only refuses every write: that must not pass
    // for a command sent.
    PtyPair line;
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.serialPort().setPortName(line.slavePath());
    QVERIFY(probe.serialPort().open(QIODevice::ReadOnly));
    MessageBoxRecorder boxes;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QIODevice::write.*ReadOnly device"));
    probe.sendCommand("*?!");
    QCOMPARE(boxes.summary(), "发送失败 / 数据发送失败: " + probe.serialPort().errorString());
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
}

QTEST_MAIN(TestSendCommand)
#include "tst_sendcommand.moc"
