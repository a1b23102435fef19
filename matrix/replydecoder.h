#ifndef MATRIX_REPLYDECODER_H
#define MATRIX_REPLYDECODER_H

#include <QByteArray>
#include <QString>
#include <QVector>

// The bytes that tell replies apart: every reply starts with the device
// letter and ':'; in the device information the byte behind the colon is
// EOT (0x04, not the digit '4'), in a routing map a digit.
namespace replymarkers {
constexpr char prefixColon = ':';
constexpr char infoMarker = 0x04;
constexpr char infoSecondMarker = 'x'; // at byte 7, inside the model text
} // namespace replymarkers

// The device's model text puts the input count right behind its 'x' marker
// and the output count three bytes further on ("HDMIx16-16-SIM0"). The
// counts are read ten and seven bytes from the end, so a reply laid out
// that way is exactly this long: the 'x' at byte 7, the counts at 8 and 11.
constexpr int layoutInformationLength = 18;

// What one chunk read from the link says, decided from its bytes alone.
struct StatusReply
{
    enum Kind { Ignored, DeviceInformation, RoutingMap };

    Kind kind = Ignored;

    // DeviceInformation
    QString deviceLetter; // the first byte as Latin-1; empty when it is NUL
    QString model; // from the fourth byte on, cut at the first NUL
    int inputs = 0; // as read from the chunk, not yet judged: -9..99
    int outputs = 0; // (a two-byte field such as "-8" reads negative)
    bool countsAccepted = false; // both counts within 1..255

    // RoutingMap: entry j is the input routed to output j + 1; exactly
    // outputCount entries, each 0..99 (0 and numbers beyond the input rows
    // are passed on as the device sent them)
    QVector<int> sources;
};

// Decodes one chunk. outputCount is the number of outputs of the last
// accepted device information; a routing map must carry exactly that many
// entries.
StatusReply decodeStatusReply(const QByteArray &chunk, int outputCount);

// The length of a complete routing map for outputCount outputs: the letter,
// ':' and two digits per output. Replies carry no terminator; this is the
// one reply whose end follows from its own bytes.
int routingMapLength(int outputCount);

#endif // MATRIX_REPLYDECODER_H
