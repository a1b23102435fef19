#include "devicelink/hostport.h"

#include "codec/codec.h"

namespace devicelink {

namespace {

constexpr int maxPortDigits = 5;

} // namespace

std::optional<HostPort> parseHostPort(const QString &text, quint16 defaultPort, QString *error,
                                      quint16 minimumPort)
{
    QString host = text;
    QString port;
    bool portGiven = false;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        const QString rest = close < 0 ? QString() : text.mid(close + 1);
        if (close < 0 || (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))) {
            *error = QStringLiteral("expected [ADDRESS]:PORT, got '%1'").arg(text);
            return std::nullopt;
        }
        host = text.mid(1, close - 1);
        portGiven = !rest.isEmpty();
        port = rest.mid(1);
    } else if (text.count(QLatin1Char(':')) == 1) {
        host = text.section(QLatin1Char(':'), 0, 0);
        port = text.section(QLatin1Char(':'), 1);
        portGiven = true;
    } else if (text.contains(QLatin1Char(':'))) {
        *error = QStringLiteral("put an IPv6 address in brackets, e.g. [::1]:%1").arg(defaultPort);
        return std::nullopt;
    }
    HostPort result {host, defaultPort};
    if (portGiven) {
        const uint value = port.toUInt();
        if (port.isEmpty() || port.size() > maxPortDigits || !isAllDigits(port)
            || value < minimumPort || value > 65535) {
            *error
                = QStringLiteral("'%1' is not a port from %2 to 65535").arg(port).arg(minimumPort);
            return std::nullopt;
        }
        result.port = quint16(value);
    }
    if (host.isEmpty()) {
        *error = QStringLiteral("the host is missing in '%1'").arg(text);
        return std::nullopt;
    }
    return result;
}

QString joinHostPort(const QString &host, quint16 port)
{
    const QString shown = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shown).arg(port);
}

} // namespace devicelink
