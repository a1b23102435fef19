#include "link/serialportscan.h"
#include "support/ctrluiprobe.h"

#include <QtTest>

// The serial ports listed on a worker thread at start-up reach the window
// as a scan in place would list them, and only once.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void portListFromTheWorkerThread()
    {
        const QStringList inPlace = openableSerialPorts();
        startSerialPortScan();
        ctrlUi window;
        CtrlUiProbe probe(window);
        QStringList listed;
        for (int i = 0; i < probe.ui().cBoxCOMn->count(); ++i)
            listed << probe.ui().cBoxCOMn->itemText(i);
        QCOMPARE(listed, inPlace);
        QCOMPARE(probe.ui().pBtnOpenCOM->text(),
                 QString(inPlace.isEmpty() ? "无可用串口" : "打开串口"));

        // Taken: later refreshes scan in place, and a second start is
        // a new scan whose list is handed over in turn.
        QCOMPARE(takeSerialPortScan(), inPlace);
        startSerialPortScan();
        QCOMPARE(takeSerialPortScan(), inPlace);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
