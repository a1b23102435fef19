#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"

#include <QtTest>

// Choosing a link mode shows its page and silently closes the other link.
class TestModeSwitch : public QObject
{
    Q_OBJECT

private slots:
    void pagesFollowTheChoice();
    void toTcpClosesSerialAndCancelsDelay();
    void toSerialClosesTcp();
    void sameItemRunsNothing();
};

void TestModeSwitch::pagesFollowTheChoice()
{
    ctrlUi window;
    CtrlUiProbe probe(window);
    QCOMPARE(probe.ui().sWidgetCommunication->currentIndex(), 0);
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    QCOMPARE(probe.ui().sWidgetCommunication->currentIndex(), 1);
    probe.ui().cBoxCommunicationSet->setCurrentIndex(0);
    QCOMPARE(probe.ui().sWidgetCommunication->currentIndex(), 0);
}

void TestModeSwitch::toTcpClosesSerialAndCancelsDelay()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(probe.openSerial(line.slavePath()));
    QVERIFY(line.waitForBytes(3));

    line.write("A:01");
    QTRY_VERIFY(probe.recvTimer().isActive());
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);

    QVERIFY(!probe.serialPort().isOpen());
    QVERIFY(!probe.recvTimer().isActive());
    QVERIFY(probe.ui().pBtnOpenCOM->text() != QStringLiteral("关闭串口"));
    QVERIFY(!probe.ui().pBtnConnect->isEnabled());
    QVERIFY(!probe.ui().lEdtInputCount->isEnabled());
    QCOMPARE(boxes.count(), 0);
    // What had arrived is never read.
    QVERIFY(probe.ui().tEdtCurrentDataRES->toPlainText().isEmpty());
}

void TestModeSwitch::toSerialClosesTcp()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(probe.connectTcp(device.port()));

    probe.ui().cBoxCommunicationSet->setCurrentIndex(0);

    QVERIFY(!probe.tcpClient().isOpen());
    QCOMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("连接矩阵"));
    QVERIFY(!probe.ui().pBtnRefresh->isEnabled());
    QVERIFY(!probe.ui().tWidgetIn->isEnabled());
    QCOMPARE(boxes.count(), 0);
    // Nothing stays wired to the closed socket.
    QVERIFY(!QObject::disconnect(&probe.tcpClient(), SIGNAL(readyRead()), &window,
                                 SLOT(readOutRecvData())));
    QVERIFY(!QObject::disconnect(&probe.tcpClient(), SIGNAL(connected()), &window,
                                 SLOT(TCPclientConnected())));
}

void TestModeSwitch::sameItemRunsNothing()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.connectTcp(device.port()));

    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    QVERIFY(probe.tcpClient().isOpen());
    QVERIFY(probe.ui().pBtnConnect->isEnabled());
}

QTEST_MAIN(TestModeSwitch)
#include "tst_modeswitch.moc"
