// Throughput of the window's reply path, run on demand (bench/throughput.sh):
// a 99-output routing map decoded and applied to the window, and one reading
// appended to a reply log that already holds 10,000 readings. Both go
// through the window's own entry points, so they measure whatever the
// decoder and the log are at the time.

#include "support/ctrluiprobe.h"
#include "support/ptypair.h"

#include <QtTest>

namespace {

const int logReadings = 10000;

QByteArray routingMap(int outputs, int shift)
{
    QByteArray map("A:");
    for (int output = 0; output < outputs; ++output)
        map += QByteArray::number((output + shift) % 99 + 1).rightJustified(2, '0');
    return map;
}

} // namespace

class BenchWindow : public QObject
{
    Q_OBJECT

private slots:
    void routingMapApplied();
    void readingLogged_data();
    void readingLogged();

private:
    // One reading over the pseudo-terminal: the device writes it and the
    // port has all of it. The port is polled rather than waited on, so that
    // a busy machine does not add the time it takes to wake this process.
    bool deliver(PtyPair &line, QSerialPort &port, const QByteArray &reading)
    {
        if (!line.write(reading))
            return false;
        QDeadlineTimer deadline(5000);
        while (port.bytesAvailable() < reading.size()) {
            if (deadline.hasExpired())
                return false;
            port.waitForReadyRead(0);
        }
        return true;
    }
};

void BenchWindow::routingMapApplied()
{
    ctrlUi window;
    CtrlUiProbe probe(window);
    window.show();
    probe.parseStatusReply(QByteArray("A:\x04"
                                      "ABCDx99-99-PQRS"));
    QCOMPARE(probe.ui().tWidgetOut->rowCount(), 99);

    // Two maps in turn, so that every entry changes on every pass.
    const QByteArray maps[] = {routingMap(99, 0), routingMap(99, 1)};
    int pass = 0;
    QBENCHMARK
    {
        probe.parseStatusReply(maps[pass++ % 2]);
    }
    const int last = (pass - 1) % 2; // the map applied last
    QCOMPARE(probe.outputSource(98), last ? 1 : 99);
    QCOMPARE(probe.ui().tWidgetOut->item(98, 2)->text(), last ? "输入1" : "输入99");
}

void BenchWindow::readingLogged_data()
{
    QTest::addColumn<int>("readingsBefore");
    QTest::addColumn<bool>("logged");
    // The first row is the cost of the pseudo-terminal alone, to be taken
    // off the others.
    QTest::newRow("line alone") << 0 << false;
    QTest::newRow("empty log") << 0 << true;
    QTest::newRow("log of 10000 readings") << logReadings << true;
}

void BenchWindow::readingLogged()
{
    QFETCH(int, readingsBefore);
    QFETCH(bool, logged);

    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    window.show();
    QVERIFY(probe.openSerial(line.slavePath()));
    QVERIFY(line.waitForBytes(3)); // the refresh command sent on opening
    line.take();

    // The largest reading a device sends: a 99-output map. No device
    // information came first, so the window logs it and ignores it.
    const QByteArray reading = routingMap(99, 0);
    QSerialPort &port = probe.serialPort();
    for (int i = 0; i < readingsBefore; ++i) {
        QVERIFY2(deliver(line, port, reading), "the reading did not reach the port");
        QVERIFY(QMetaObject::invokeMethod(&window, "readOutRecvData"));
    }
    QCoreApplication::processEvents(); // layouts and paints owed by the filling

    QBENCHMARK
    {
        deliver(line, port, reading);
        if (logged)
            QMetaObject::invokeMethod(&window, "readOutRecvData");
        else
            port.readAll();
    }
    if (logged)
        QVERIFY(probe.log().endsWith(QString::fromLatin1(reading)));
    else
        QVERIFY(probe.log().isEmpty());
}

QTEST_MAIN(BenchWindow)
#include "bench_window.moc"
