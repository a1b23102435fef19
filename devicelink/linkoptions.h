#ifndef DEVICELINK_LINKOPTIONS_H
#define DEVICELINK_LINKOPTIONS_H

#include <QString>

namespace devicelink {

// The device's network port when a --tcp address names none.
constexpr quint16 defaultTcpPort = 8126;

// How to reach the device: the same options in every program that opens a
// link of its own (--tcp HOST[:PORT], or --serial DEV with --baud N).
struct LinkOptions
{
    enum Kind { NoLink, Tcp, Serial };

    Kind kind = NoLink;
    QString host;
    quint16 port = defaultTcpPort;
    QString serialPath;
    qint32 baud = 9600;
    int timeoutMs = 2000; // bounds every wait for the device
};

} // namespace devicelink

#endif // DEVICELINK_LINKOPTIONS_H
