#ifndef DEVICELINK_SERIALLINK_H
#define DEVICELINK_SERIALLINK_H

#include "devicelink/linkoptions.h"

#include <QString>

class QSerialPort;

namespace devicelink {

// Opens `port` on options.serialPath at options.baud, 8 data bits, no
// parity, one stop bit, no flow control, with whatever was waiting in
// either direction discarded. False: *error says why, naming the line.
bool openSerialLine(QSerialPort *port, const LinkOptions &options, QString *error);

// How long the link must stay quiet before a reply that carries no length
// (the device information) counts as complete: 50 ms, or on a slow serial
// line the time of a few characters.
int quietGapMs(const LinkOptions &options);

// The link for people: the serial path, or host:port.
QString linkName(const LinkOptions &options);

} // namespace devicelink

#endif // DEVICELINK_SERIALLINK_H
