#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"

#include <QtTest>

// Faults a run of random operator actions against a hostile device found,
// replayed step by step: a link failure that re-entered its own handler
// inside its message box.
class TestLinkFaults : public QObject
{
    Q_OBJECT
private slots:
    void tcpFailureHandledOnce_data();
    void tcpFailureHandledOnce();
};

void TestLinkFaults::tcpFailureHandledOnce_data()
{
    QTest::addColumn<bool>("earlierLink");
    QTest::addColumn<QString>("failure"); // "refused" or "hang-up"
    QTest::addColumn<QString>("button"); // clicked at once after the trigger
    QTest::addColumn<QString>("box");
    const QString refused = "网络 / 产生如下错误: Connection refused.";
    const QString hangUp = "网络 / 产生如下错误: The remote host closed the connection.";
    QTest::newRow("refused, resolution command queued while connecting")
        << false << "refused"
        << "outResPushButton" << refused;
    QTest::newRow("refused, 刷新 after an earlier link") << true << "refused"
                                                         << "pBtnRefresh" << refused;
    QTest::newRow("refused, 查询 after an earlier link") << true << "refused"
                                                         << "pBtnQueryReq" << refused;
    QTest::newRow("hang-up with commands queued") << true << "hang-up"
                                                  << "outResPushButton" << hangUp;
}

void TestLinkFaults::tcpFailureHandledOnce()
{
    QFETCH(bool, earlierLink);
    QFETCH(QString, failure);
    QFETCH(QString, button);
    QFETCH(QString, box);
    FakeDevice device, next;
    QVERIFY(device.listen() && next.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    probe.ui().outResLineEdit->setText("1");
    auto *click = window.findChild<QPushButton *>(button);

    if (earlierLink) { // leaves the routing buttons enabled
        QVERIFY(probe.connectTcp(device.port()));
        QVERIFY(device.waitForReceived(3));
    }
    if (failure == "refused") {
        if (earlierLink)
            probe.ui().pBtnCommunicationConnect->click();
        const quint16 port = device.port();
        device.stopListening();
        probe.startTcp(port);
        for (int i = 0; i < 3; ++i)
            click->click(); // queued in the socket while it connects
    } else {
        device.closeClient();
        for (int i = 0; i < 3; ++i)
            click->click(); // queued behind the hang-up
    }
    QVERIFY2(
        QTest::qWaitFor([&] { return boxes.count() > 0 && !QApplication::activeModalWidget(); }),
        "no box");
    QCOMPARE(boxes.summary(), box); // one box, not one inside the other

    // Idle, and the next connection works and carries nothing of the failed one.
    QCOMPARE(probe.ui().pBtnCommunicationConnect->text(), QStringLiteral("连接矩阵"));
    QVERIFY(probe.ui().pBtnCommunicationConnect->isEnabled());
    QVERIFY(!probe.tcpClient().isOpen());
    QVERIFY(probe.connectTcp(next.port()));
    probe.ui().pBtnQueryReq->click();
    QVERIFY(next.waitForReceived(5));
    QCOMPARE(next.received(), QByteArray("*?!*!"));
    QCOMPARE(boxes.count(), 1);
}

QTEST_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
