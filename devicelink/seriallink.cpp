#include "devicelink/seriallink.h"

#include "devicelink/hostport.h"

#include <QSerialPort>

#include <algorithm>
#include <cmath>

namespace devicelink {

namespace {

constexpr int minimumQuietGapMs = 50;
// On a serial line, the time of a few characters at 10 bit times each
// (start, 8 data, stop): slow lines leave longer pauses inside a reply.
constexpr int quietGapCharacters = 4;

} // namespace

bool openSerialLine(QSerialPort *port, const LinkOptions &options, QString *error)
{
    port->setPortName(options.serialPath);
    if (!port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("cannot open the serial line %1: %2")
                     .arg(options.serialPath, port->errorString());
        return false;
    }
    if (!port->setBaudRate(options.baud) || !port->setDataBits(QSerialPort::Data8)
        || !port->setParity(QSerialPort::NoParity) || !port->setStopBits(QSerialPort::OneStop)
        || !port->setFlowControl(QSerialPort::NoFlowControl)) {
        *error = QStringLiteral("cannot set %1 to %2 baud, 8N1: %3")
                     .arg(options.serialPath)
                     .arg(options.baud)
                     .arg(port->errorString());
        port->close();
        return false;
    }
    port->clear(QSerialPort::AllDirections);
    return true;
}

int quietGapMs(const LinkOptions &options)
{
    if (options.kind != LinkOptions::Serial)
        return minimumQuietGapMs;
    const double characterMs = 10 * 1000.0 / options.baud;
    return std::max(minimumQuietGapMs, int(std::ceil(quietGapCharacters * characterMs)));
}

QString linkName(const LinkOptions &options)
{
    if (options.kind == LinkOptions::Serial)
        return options.serialPath;
    return joinHostPort(options.host, options.port);
}

} // namespace devicelink
