#ifndef MATRIX_REPLYFRAMER_H
#define MATRIX_REPLYFRAMER_H

#include "matrix/replydecoder.h"

#include <QByteArray>
#include <QList>

// Cuts the byte stream of a link into replies, for a program that waits for
// them (the console does not: it judges every reading whole). The device
// sends no terminator, so a reply ends in one of these ways:
//   - a routing map at its own length, 2 + 2 x the known output count, or
//     at the first byte that is no digit (a map of unknown length, say one
//     that comes before the device information);
//   - a device-information reply at the length its own count fields give
//     (layoutInformationLength); one laid out otherwise where another reply
//     begins behind it, or when the complete routing map that follows it
//     (by the counts it has just announced) has arrived, or else when the
//     link has gone quiet;
//   - anything else when the link has gone quiet.
// Bytes in front of a reply's "L:" prefix are cut off as a chunk of their
// own, so noise ahead of a reply does not spoil it. Every chunk is decoded
// as it is cut; an accepted device-information reply sets the output count
// that the following maps are measured by.
class ReplyFramer
{
public:
    struct Chunk
    {
        QByteArray bytes;
        StatusReply reply;
    };

    int outputCount() const { return m_outputCount; }
    void setOutputCount(int outputCount) { m_outputCount = outputCount; }

    void append(const QByteArray &bytes) { m_pending += bytes; }
    // The replies complete so far, oldest first. With linkQuiet (no byte
    // for a while, or the stream has ended) whatever is held completes too.
    QList<Chunk> take(bool linkQuiet);

    QByteArray pending() const { return m_pending; }

private:
    int nextCut(bool linkQuiet) const;
    int informationEnd(bool linkQuiet) const;

    QByteArray m_pending;
    int m_outputCount = 0;
};

#endif // MATRIX_REPLYFRAMER_H
