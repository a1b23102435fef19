#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"
#include "support/stallmeter.h"

#include <QTextBlock>
#include <QtTest>

// Faults a run of random operator actions against a hostile device found,
// replayed step by step: a link failure that re-entered its own handler
// inside its message box, and a long reading without blanks that froze the
// window.
class TestLinkFaults : public QObject
{
    Q_OBJECT
private slots:
    void tcpFailureHandledOnce_data();
    void tcpFailureHandledOnce();
    void longReadingKeepsTheWindowResponsive_data();
    void longReadingKeepsTheWindowResponsive();
    void clearDropsWhatALongReadingStillHolds();
};

namespace {
// Leaves exactly these bytes waiting in the window's socket, unread, so that
// one call of the reading slot takes them all as one reading.
bool readOnce(CtrlUiProbe &probe, FakeDevice &device, const QByteArray &reading)
{
    probe.ui().cBoxCommunicationSet->setCurrentIndex(1);
    probe.tcpClient().connectToHost(QHostAddress::LocalHost, device.port());
    if (!probe.tcpClient().waitForConnected(5000) || !device.waitForClient())
        return false;
    device.send(reading);
    return QTest::qWaitFor([&] { return probe.tcpClient().bytesAvailable() == reading.size(); },
                           10000);
}

// Fails at once when a box opens while another is still shown: a handler
// that re-enters itself inside its box would otherwise nest boxes until the
// stack runs out, and the test could not return to say so.
class NestedBoxGuard : public QObject
{
public:
    explicit NestedBoxGuard(QWidget &window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }

private:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(watched)) {
            int shown = 0;
            for (const QMessageBox *box : m_window.findChildren<QMessageBox *>())
                shown += box->isVisible() ? 1 : 0;
            if (shown > 1)
                qFatal("\"%s\" opened inside another box: a handler re-entered itself",
                       qPrintable(static_cast<QMessageBox *>(watched)->text()));
        }
        return false;
    }
    QWidget &m_window;
};

QByteArray digits(int count)
{
    QByteArray bytes(count, '0');
    for (int i = 0; i < count; ++i)
        bytes[i] = char('0' + i % 10);
    return bytes;
}
} // namespace

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
    NestedBoxGuard guard(window);
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
        click->click(); // queued in the socket while it connects
    } else {
        device.closeClient();
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

void TestLinkFaults::longReadingKeepsTheWindowResponsive_data()
{
    QTest::addColumn<QByteArray>("reading");
    QTest::addColumn<int>("outputs"); // rows after the reading; 0: unchanged
    QTest::newRow("64 KB of digits") << digits(64 * 1024) << 0;
    QTest::newRow("256 KB of digits") << digits(256 * 1024) << 0;
    QTest::newRow("1 MB of digits") << digits(1024 * 1024) << 0;
    // Parsed whole: the counts sit in the last ten bytes.
    QTest::newRow("device information with a 1 MB model")
        << "B:\x04" + QByteArray("ABCDx") + digits(1024 * 1024) + "08-16-PQRS" << 16;
}

void TestLinkFaults::longReadingKeepsTheWindowResponsive()
{
    QFETCH(QByteArray, reading);
    QFETCH(int, outputs);
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    window.show();
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    for (int i = 0; i < 100; ++i) // enough readings for a scroll bar
        probe.ui().tEdtCurrentDataRES->append("A:0102");
    const QString before = probe.log();

    QVERIFY(readOnce(probe, device, reading));
    StallMeter stalls;
    QMetaObject::invokeMethod(&window, "readOutRecvData");
    device.send("C:0201"); // an ordinary reply behind it keeps its place
    connect(&probe.tcpClient(), SIGNAL(readyRead()), &window, SLOT(readOutRecvData()));
    QTextDocument *log = probe.ui().tEdtCurrentDataRES->document();
    QVERIFY2(QTest::qWaitFor([&] { return log->lastBlock().text() == "C:0201"; }, 30000),
             "the log never showed the reply behind the long reading");
    const double cpuMs = stalls.longestCpuMs();
    const qint64 wallMs = stalls.longestWallMs();
    qInfo("%d bytes: longest stall %.1f ms CPU, %lld ms wall", int(reading.size()), cpuMs, wallMs);
    QVERIFY2(cpuMs < allowedStallMs,
             qPrintable(QString("stalled %1 ms (CPU), %2 ms (wall)").arg(cpuMs).arg(wallMs)));

    // Every byte, in order; a long reading may take several paragraphs.
    const QString expected = before + '\n' + QString::fromLatin1(reading) + "\nC:0201";
    QCOMPARE(probe.log().remove('\n'), QString(expected).remove('\n'));
    if (outputs)
        QCOMPARE(probe.ui().tWidgetOut->rowCount(), outputs);
    QCOMPARE(boxes.count(), 0);
}

void TestLinkFaults::clearDropsWhatALongReadingStillHolds()
{
    FakeDevice device;
    QVERIFY(device.listen());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(readOnce(probe, device, digits(256 * 1024)));
    QMetaObject::invokeMethod(&window, "readOutRecvData");
    probe.ui().pushButton->click(); // 清除显示
    device.send("C:0201");
    connect(&probe.tcpClient(), SIGNAL(readyRead()), &window, SLOT(readOutRecvData()));
    QTRY_COMPARE(probe.log(), QStringLiteral("C:0201"));
}

QTEST_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
