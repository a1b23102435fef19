#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"

#include <QtTest>

// The TCP client link against a fake device on 127.0.0.1.
class TestTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void buttonFollowsTheConnection();
    void endToEnd();
    void eachSegmentIsOneReading();
    void connectionRefused();
    void deviceClosesTheConnection();
    void reconnectReadsEachReplyOnce();
    void badPortTextIsRefused_data();
    void badPortTextIsRefused();

private:
    static QString log(CtrlUiProbe &probe) { return probe.ui().tEdtCurrentDataRES->toPlainText(); }
    static void expectIdle(CtrlUiProbe &probe);
};

void TestTcpLink::expectIdle(CtrlUiProbe &probe)
{
    QCOMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("连接矩阵"));
    QVERIFY(probe.ui().pBtnCommunicationConnect->isEnabled());
    QVERIFY(probe.ui().cBoxCommunicationSet->isEnabled());
    QVERIFY(!probe.tcpClient().isOpen());
}

void TestTcpLink::buttonFollowsTheConnection()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;

    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    probe.ui().lEdtCommunicationIPset->setText("127.0.0.1");
    probe.ui().lEdtCommunicationPort->setText(QString::number(device.port()));
    probe.ui().pBtnCommunicationConnect->click();

    // The attempt runs: neither the button nor the mode box can be used.
    QCOMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("连接中..."));
    QVERIFY(!probe.ui().pBtnCommunicationConnect->isEnabled());
    QVERIFY(!probe.ui().cBoxCommunicationSet->isEnabled());

    QTRY_COMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("已连接矩阵"));
    QVERIFY(probe.ui().pBtnCommunicationConnect->isEnabled());
    QVERIFY(probe.ui().cBoxCommunicationSet->isEnabled());
    QVERIFY(probe.ui().pBtnRefresh->isEnabled());
    QVERIFY(probe.ui().tWidgetOut->isEnabled());
    QVERIFY(device.waitForReceived(3));
    QCOMPARE(device.received(), QByteArray("*?!"));

    probe.ui().pBtnCommunicationConnect->click();
    expectIdle(probe);
    QCOMPARE(boxes.count(), 0);
}

void TestTcpLink::endToEnd()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(probe.connectTcp(device.port()));
    QVERIFY(device.waitForReceived(3));
    device.clearReceived();

    device.send(QByteArray("B:\x04"
                           "ABCDx08-16-PQRS"));
    QTRY_COMPARE(probe.ui().tWidgetOut->rowCount(), 16);
    QCOMPARE(probe.ui().tWidgetIn->rowCount(), 8);
    QCOMPARE(probe.ui().lEdtInputCount->text(), QStringLiteral("8"));
    QCOMPARE(probe.ui().lEdtOutputCount->text(), QStringLiteral("16"));
    QCOMPARE(probe.inputCount(), 8);
    QCOMPARE(probe.outputCount(), 16);

    probe.ui().tWidgetIn->setItem(2, 1, new QTableWidgetItem("DVD"));
    QByteArray map("B:");
    for (int output = 1; output <= 16; ++output)
        map += QByteArray::number(output % 8 + 1).rightJustified(2, '0');
    device.send(map);
    QTRY_VERIFY(probe.ui().tWidgetOut->item(15, 2));
    QCOMPARE(probe.ui().tWidgetOut->item(1, 2)->text(), QStringLiteral("输入3:DVD"));
    QCOMPARE(probe.ui().tWidgetOut->item(0, 2)->text(), QStringLiteral("输入2"));
    QCOMPARE(probe.outputSource(15), 1);

    probe.ui().tWidgetOut->setCurrentCell(9, 0);
    probe.ui().tWidgetIn->setCurrentCell(1, 0);
    probe.ui().pBtnConnect->click();
    probe.ui().pBtnRefresh->click();
    probe.ui().pBtnQueryReq->click();
    const QByteArray expected("*10<2!*?!*!");
    QVERIFY(device.waitForReceived(expected.size()));
    QCOMPARE(device.received(), expected);
    QCOMPARE(boxes.count(), 0);
}

void TestTcpLink::eachSegmentIsOneReading()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.connectTcp(device.port()));

    device.send("A:01");
    QTRY_COMPARE(log(probe), QStringLiteral("A:01"));
    device.send(QByteArray("02\0tail", 7));
    // Two readings, two paragraphs; the log stops at the zero byte.
    QTRY_COMPARE(log(probe), QStringLiteral("A:01\n02"));
}

void TestTcpLink::connectionRefused()
{
    FakeDevice device;
    QVERIFY(device.listen());
    const quint16 closedPort = device.port();
    device.stopListening();

    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(!probe.connectTcp(closedPort, 500));
    QTRY_COMPARE(boxes.count(), 1);
    const RecordedBox box = boxes.boxes().first();
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.title, QStringLiteral("网络"));
    QCOMPARE(box.text, QStringLiteral("产生如下错误: Connection refused."));
    QTRY_VERIFY(!probe.tcpClient().isOpen());
    expectIdle(probe);
    // The routing controls were never enabled.
    QVERIFY(!probe.ui().pBtnConnect->isEnabled());
}

void TestTcpLink::deviceClosesTheConnection()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.connectTcp(device.port()));
    QVERIFY(device.waitForReceived(3));

    MessageBoxRecorder boxes;
    device.closeClient();

    // Reported, and the window no longer claims a connection.
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Information);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("网络"));
    QCOMPARE(boxes.boxes().first().text,
             QStringLiteral("产生如下错误: The remote host closed the connection."));
    expectIdle(probe);

    // A command now meets the no-link warning instead of vanishing.
    boxes.clear();
    probe.ui().pBtnRefresh->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("无法发送数据"));
}

void TestTcpLink::reconnectReadsEachReplyOnce()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;

    QVERIFY(probe.connectTcp(device.port()));
    device.closeClient();
    QTRY_COMPARE(boxes.count(), 1);
    QVERIFY(probe.connectTcp(device.port()));
    probe.ui().pBtnCommunicationConnect->click(); // close with the button
    QVERIFY(probe.connectTcp(device.port()));
    QTRY_COMPARE(device.connectionCount(), 3);
    QVERIFY(device.waitForClient());

    QSignalSpy readings(probe.ui().tEdtCurrentDataRES, &QTextEdit::textChanged);
    device.send("A:0102");
    QTRY_COMPARE(log(probe), QStringLiteral("A:0102"));
    QCOMPARE(readings.count(), 1);
    // No stray connection is left to the error slot either: one more close,
    // one more box.
    device.closeClient();
    QTRY_COMPARE(boxes.count(), 2);
    QCOMPARE(boxes.count(), 2);
}

void TestTcpLink::badPortTextIsRefused_data()
{
    QTest::addColumn<QString>("portText");
    QTest::newRow("empty") << "";
    QTest::newRow("zero") << "0";
    QTest::newRow("above 65535 would wrap") << "73662"; // 73662 & 0xFFFF == 8126
    QTest::newRow("far too long to be a number") << "99999999999999999999";
    QTest::newRow("plus sign") << "+8126";
    QTest::newRow("leading space") << " 8126";
    QTest::newRow("trailing space") << "8126 ";
    QTest::newRow("letters") << "81a";
    QTest::newRow("negative") << "-1";
}

void TestTcpLink::badPortTextIsRefused()
{
    QFETCH(QString, portText);

    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    // Loopback even here: a refusal that failed must not reach the network.
    probe.ui().lEdtCommunicationIPset->setText("127.0.0.1");
    probe.ui().lEdtCommunicationPort->setText(portText);

    MessageBoxRecorder boxes;
    probe.ui().pBtnCommunicationConnect->click();

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("网络"));
    QCOMPARE(boxes.boxes().first().text, QStringLiteral("请输入正确的端口号!"));
    expectIdle(probe);
    QCOMPARE(probe.tcpClient().state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(probe.ui().lEdtCommunicationPort->text(), portText);
}

QTEST_MAIN(TestTcpLink)
#include "tst_tcplink.moc"
