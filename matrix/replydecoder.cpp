#include "matrix/replydecoder.h"

#include "codec/codec.h"

namespace {

using replymarkers::infoMarker;
using replymarkers::infoSecondMarker;
using replymarkers::prefixColon;
constexpr char commandEnd = '!';

// Counts are read from a window of the last ten bytes; the input field is at
// its start and the output field three bytes further on. A chunk shorter
// than ten bytes is its own window, so the fields then come from its start.
constexpr int countWindow = 10;
constexpr int inputFieldAt = 0;
constexpr int outputFieldAt = 3;

constexpr int maxPortCount = 255;

// A two-byte number field, read exactly as QByteArray::toInt(base 10) reads
// it: that reading defines what a count or a map entry says, quirks
// included. Leading white space and a sign are accepted (" 8", "+8" give 8,
// "-8" gives -8), so is a digit followed by white space or NUL ("8 ",
// "8\0" give 8); anything else that is not two digits ("8:", "\08", "x1")
// reads as 0. The caller passes an in-range position; mid() would clamp
// anyway.
int readNumberField(const QByteArray &bytes, int at)
{
    return bytes.mid(at, 2).toInt(nullptr, 10);
}

bool looksLikeDeviceInformation(const QByteArray &chunk)
{
    // Byte 7 lies inside the model text and byte 2 is a control character:
    // together they tell this reply from a routing map, which is digits only.
    // A chunk ending in '!' is left to the routing-map test, which its 0x04
    // byte then fails.
    return chunk.size() > 7 && chunk.at(2) == infoMarker && chunk.at(7) == infoSecondMarker
        && !chunk.endsWith(commandEnd);
}

QString latin1UpToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

StatusReply decodeDeviceInformation(const QByteArray &chunk)
{
    StatusReply reply;
    reply.kind = StatusReply::DeviceInformation;
    reply.deviceLetter = latin1UpToNul(chunk.left(1));
    reply.model = latin1UpToNul(chunk.mid(3));

    const QByteArray window = chunk.right(countWindow);
    reply.inputs = readNumberField(window, inputFieldAt);
    reply.outputs = readNumberField(window, outputFieldAt);
    reply.countsAccepted = reply.inputs >= 1 && reply.inputs <= maxPortCount && reply.outputs >= 1
        && reply.outputs <= maxPortCount;
    return reply;
}

StatusReply decodeRoutingMap(const QByteArray &chunk, int outputCount)
{
    const QByteArray pairs = chunk.mid(2);

    // Every byte must be a digit. A NUL byte refuses the map rather than
    // ending the digit test early: the pairs behind it would read as input 0
    // and the window would show a route the device never reported. The
    // explicit size matters: fromLatin1(QByteArray) stops at the first NUL.
    if (!isAllDigits(QString::fromLatin1(pairs.constData(), pairs.size())))
        return {};

    // The map carries exactly one pair per output known from the last
    // device information. Compared by halving, so that no outputCount can
    // overflow a doubling.
    if (outputCount <= 0 || pairs.size() % 2 != 0 || pairs.size() / 2 != outputCount)
        return {};

    StatusReply reply;
    reply.kind = StatusReply::RoutingMap;
    reply.sources.reserve(outputCount);
    for (int j = 0; j < outputCount; ++j)
        reply.sources.append(readNumberField(pairs, 2 * j));
    return reply;
}

} // namespace

StatusReply decodeStatusReply(const QByteArray &chunk, int outputCount)
{
    if (chunk.size() < 2 || chunk.at(1) != prefixColon)
        return {};
    if (looksLikeDeviceInformation(chunk))
        return decodeDeviceInformation(chunk);
    return decodeRoutingMap(chunk, outputCount);
}

int routingMapLength(int outputCount)
{
    return 2 + 2 * outputCount;
}
