#include "matrix/replyframer.h"

#include <algorithm>

namespace {

using replymarkers::infoMarker;
using replymarkers::infoSecondMarker;
using replymarkers::prefixColon;

// Where the counts of a reply of layoutInformationLength bytes sit.
constexpr int inputFieldAt = 8;
constexpr int outputFieldAt = 11;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the bytes from `from` up to `to` (or the end) are all digits;
// true for none.
bool digitsFrom(const QByteArray &bytes, int from, int to = -1)
{
    const int end = to < 0 ? bytes.size() : std::min(to, int(bytes.size()));
    for (int i = from; i < end; ++i) {
        if (!isDigit(bytes.at(i)))
            return false;
    }
    return true;
}

} // namespace

QList<ReplyFramer::Chunk> ReplyFramer::take(bool linkQuiet)
{
    QList<Chunk> chunks;
    for (int cut; !m_pending.isEmpty() && (cut = nextCut(linkQuiet)) > 0;) {
        Chunk chunk {m_pending.left(cut), {}};
        m_pending.remove(0, cut);
        chunk.reply = decodeStatusReply(chunk.bytes, m_outputCount);
        if (chunk.reply.kind == StatusReply::DeviceInformation && chunk.reply.countsAccepted)
            m_outputCount = chunk.reply.outputs;
        chunks << chunk;
    }
    return chunks;
}

// How many bytes at the front form a complete chunk now; 0: not yet.
int ReplyFramer::nextCut(bool linkQuiet) const
{
    const int size = m_pending.size();
    if (size < 2 || m_pending.at(1) != prefixColon) {
        // Not at a reply: everything up to the byte before the next ':' is
        // noise. Without a ':' yet, the rest of a reply may still come.
        const int colon = m_pending.indexOf(prefixColon, 2);
        if (colon >= 2)
            return colon - 1;
        return linkQuiet ? size : 0;
    }
    if (size == 2 || !isDigit(m_pending.at(2)))
        return size == 2 ? (linkQuiet ? size : 0) : informationEnd(linkQuiet);
    // A routing map, or the start of one: measured when the count is known.
    // A map is digits only, so whatever else comes ends it, measured or not
    // (the next reply's letter, or noise): a map that arrives before the
    // device information cannot swallow it.
    const int length = m_outputCount > 0 ? routingMapLength(m_outputCount) : -1;
    int digitsEnd = 2;
    while (digitsEnd < size && isDigit(m_pending.at(digitsEnd)))
        ++digitsEnd;
    if (length > 0 && digitsEnd >= length)
        return length;
    if (digitsEnd < size)
        return digitsEnd;
    return linkQuiet ? size : 0;
}

// A reply that is not a map (in practice the device information) ends
// where the next reply begins behind it: another information reply at its
// "L:" and marker byte, or a routing map at its "L:" and digits. A map ends
// it at once when complete by the counts the information has just
// announced, otherwise when the link is quiet; a map cannot be part of the
// model text, so even behind unusable counts it is cut off at quiet.
int ReplyFramer::informationEnd(bool linkQuiet) const
{
    const int size = m_pending.size();
    // Laid out as the device lays it out, the reply says its own length:
    // what follows is another reply or noise, never more of this one.
    if (size >= layoutInformationLength && m_pending.at(2) == infoMarker
        && m_pending.at(7) == infoSecondMarker
        && digitsFrom(m_pending, inputFieldAt, inputFieldAt + 2)
        && digitsFrom(m_pending, outputFieldAt, outputFieldAt + 2))
        return layoutInformationLength;
    for (int at = m_pending.indexOf(prefixColon, 2) - 1; at >= 1;
         at = m_pending.indexOf(prefixColon, at + 2) - 1) {
        const bool nextInformation = at + 2 < size && m_pending.at(at + 2) == infoMarker;
        if (!nextInformation && !digitsFrom(m_pending, at + 2))
            continue;
        const StatusReply head = decodeStatusReply(m_pending.left(at), m_outputCount);
        if (head.kind != StatusReply::DeviceInformation)
            continue;
        if (linkQuiet || nextInformation)
            return at;
        if (head.countsAccepted)
            return size - at >= routingMapLength(head.outputs) ? at : 0;
    }
    return linkQuiet ? size : 0;
}
