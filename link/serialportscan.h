#ifndef LINK_SERIALPORTSCAN_H
#define LINK_SERIALPORTSCAN_H

#include <QStringList>

// The names of the serial ports that can be opened right now, in the order
// in which the system reports them. Each port is opened and closed again;
// one held by another program (or another copy of this one) is left out.
QStringList openableSerialPorts();

// Listing the ports takes a while (the system's device enumeration and one
// open per port), so start-up runs it on a worker thread beside building the
// application and the window. Call it first thing in main; a second call
// before the list is taken does nothing.
void startSerialPortScan();

// The list of the scan started above, once, waiting for it if need be;
// without one, or on any later call, a fresh openableSerialPorts().
QStringList takeSerialPortScan();

#endif // LINK_SERIALPORTSCAN_H
