#include "link/serialportscan.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>

#include <memory>
#include <utility>

namespace {

struct PendingScan
{
    std::unique_ptr<QThread> thread;
    QStringList ports;

    // A program that ends before taking the list still waits for the
    // worker, so that no thread outlives main.
    ~PendingScan()
    {
        if (thread)
            thread->wait();
    }
};

PendingScan &pendingScan()
{
    static PendingScan scan;
    return scan;
}

} // namespace

QStringList openableSerialPorts()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        QSerialPort probe;
        probe.setPort(info);
        if (probe.open(QIODevice::ReadWrite)) {
            names << info.portName();
            probe.close();
        }
    }
    return names;
}

void startSerialPortScan()
{
    PendingScan &scan = pendingScan();
    if (scan.thread)
        return;
    // A QThread rather than a plain thread: opening a QSerialPort sets up
    // socket notifiers, which need the thread's event dispatcher.
    scan.thread.reset(QThread::create([&scan] { scan.ports = openableSerialPorts(); }));
    scan.thread->start();
}

QStringList takeSerialPortScan()
{
    PendingScan &scan = pendingScan();
    if (!scan.thread)
        return openableSerialPorts();
    scan.thread->wait();
    scan.thread.reset();
    return std::exchange(scan.ports, {});
}
