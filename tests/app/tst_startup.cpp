#include "link/serialportscan.h"
#include "support/ctrluiprobe.h"

#include <QSerialPortInfo>
#include <QtTest>

// The serial ports listed on a worker thread at start-up reach the window.
// Which ports can be opened at a given moment depends on who else probes
// them (tests running in parallel do), so a list is checked against what
// the system reports, not against another scan.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void portListFromTheWorkerThread()
    {
        startSerialPortScan();
        ctrlUi window;
        CtrlUiProbe probe(window);
        QStringList listed;
        for (int i = 0; i < probe.ui().cBoxCOMn->count(); ++i)
            listed << probe.ui().cBoxCOMn->itemText(i);
        QVERIFY2(reportedInOrder(listed), qPrintable(listed.join(' ')));
        QCOMPARE(probe.ui().pBtnOpenCOM->text(),
                 QString(listed.isEmpty() ? "无可用串口" : "打开串口"));

        // Taken once; a second start is a new scan, handed over in turn.
        startSerialPortScan();
        const QStringList again = takeSerialPortScan();
        QVERIFY2(reportedInOrder(again), qPrintable(again.join(' ')));
    }

private:
    static bool reportedInOrder(const QStringList &names)
    {
        QStringList reported;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            reported << info.portName();
        int from = 0;
        for (const QString &name : names) {
            from = reported.indexOf(name, from) + 1;
            if (from == 0)
                return false;
        }
        return true;
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
