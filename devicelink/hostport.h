#ifndef DEVICELINK_HOSTPORT_H
#define DEVICELINK_HOSTPORT_H

#include <QString>

#include <optional>

namespace devicelink {

struct HostPort
{
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;
};

// Reads "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT". A missing port is
// defaultPort; a given one must be plain digits from minimumPort to 65535
// (a server passes 0 to allow "any free port"). An IPv6 address must be in
// brackets, or its colons could not be told from the port's. On failure
// *error says what is wrong, without the option's name (the caller adds it).
std::optional<HostPort> parseHostPort(const QString &text, quint16 defaultPort, QString *error,
                                      quint16 minimumPort = 1);

// "host:port", with an IPv6 address in brackets: what parseHostPort reads.
QString joinHostPort(const QString &host, quint16 port);

} // namespace devicelink

#endif // DEVICELINK_HOSTPORT_H
