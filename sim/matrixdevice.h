#ifndef SIM_MATRIXDEVICE_H
#define SIM_MATRIXDEVICE_H

// A model of the video matrix switcher as the console meets it on the wire.
//
// MatrixDevice is written independently of the console's own command
// builders, so that the two readings of the command vocabulary check each
// other: whatever the console sends that this model does not understand is
// recorded as "not understood" with a reason.
//
// It does no I/O. Bytes are fed in as they arrive on one connection, together
// with that connection's Session (its half-received command), and the model
// answers with one Outcome per command found, each carrying the reply bytes
// to send back (or none). Several connections share one device state, each
// with its own Session.
//
//   MatrixDevice device(16, 16, 'A');
//   MatrixDevice::Session session;
//   for (const MatrixDevice::Outcome &o : device.feed(session, bytes))
//       if (!o.reply.isEmpty()) send(o.reply);
//
// Framing is CommandFramer's (a Session is one): a command runs from '*' to
// the next '!', bytes outside commands are recorded as garbage runs, and an
// unfinished command is abandoned at the next '*' or past 256 bytes.
//
// Replies: "*?!" and a successful CHANGEPORTNUMBER answer with the
// device-information reply; "*!", a switch and a successful CALLPLAN answer
// with the routing map. Every other command, and every refused one, gets no
// reply, and a refused command never changes the state.

#include "sim/commandframer.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class MatrixDevice
{
public:
    static constexpr int maxPorts = 99; // counts are sent as two digits
    static constexpr int planCount = 30;

    // The half-received command of one connection: create one per
    // connection and pass it to every feed() of that connection.
    using Session = CommandFramer;

    struct Outcome
    {
        enum Kind {
            Command, // a whole "*...!" frame, understood or refused
            Incomplete, // a frame abandoned before its '!'
            Garbage // bytes outside any frame
        };
        Kind kind = Command;
        QByteArray bytes; // the command (or garbage) exactly as received
        bool understood = false;
        QString description; // what it did, or why it was refused
        QByteArray reply; // empty: no reply
        enum Reply { NoReply, Information, RoutingMap };
        Reply replyKind = NoReply; // what reply holds
    };

    struct WallPosition
    {
        int across = 0; // screens across the wall
        int down = 0; // screens down the wall
        int column = 0; // this output's column, 1-based
        int row = 0; // this output's row, 1-based
        bool operator==(const WallPosition &o) const
        {
            return across == o.across && down == o.down && column == o.column && row == o.row;
        }
    };

    // Last setting received for one output card; empty / 0 / -1: none yet.
    struct OutputCard
    {
        QByteArray resolution; // keyword, e.g. "SET1080P60" (also set by its code)
        QByteArray mode; // "HDMIMOD", "DVIMOD", "OUTYPBPR", "OUTRGB", "OUTFOURCE"
        int seamless = -1; // DISMODE 1 / 0
        QByteArray drive; // "TERON", "TEROFF", "TERNONE"
        int brightness = 0; // 10..200
        WallPosition wall;
        bool operator==(const OutputCard &o) const
        {
            return resolution == o.resolution && mode == o.mode && seamless == o.seamless
                && drive == o.drive && brightness == o.brightness && wall == o.wall;
        }
    };

    // Last setting received for one input card. The EDID is either a
    // preset (code and/or keyword) or a copy of an output's monitor; setting
    // one kind clears the other.
    struct InputCard
    {
        QByteArray resolution; // keyword, e.g. "SET1440x900"
        int resolutionNumber = 0; // OUTRES 1..4
        QByteArray source; // "SRCHDMI", "SRCVGA", "SRCCVBS", "SRCYPBPR"
        int brightness = 0;
        int edidPreset = 0; // two-digit preset code of "*S", e.g. 1 for "01"
        QByteArray edidKeyword; // e.g. "EDIDSAMSUNG"
        int edidCopyMonitor = 0; // output whose monitor's EDID was copied
        bool operator==(const InputCard &o) const
        {
            return resolution == o.resolution && resolutionNumber == o.resolutionNumber
                && source == o.source && brightness == o.brightness && edidPreset == o.edidPreset
                && edidKeyword == o.edidKeyword && edidCopyMonitor == o.edidCopyMonitor;
        }
    };

    // Everything a command can change. Arrays are indexed by port - 1 and
    // always hold maxPorts entries, whatever the current counts.
    struct State
    {
        char letter = 'A';
        int inputs = 16;
        int outputs = 16;
        QVector<int> routing; // input feeding each output
        QVector<QVector<int>> plans; // planCount entries; empty = never saved
        QVector<OutputCard> outputCards;
        QVector<InputCard> inputCards;
        bool operator==(const State &o) const
        {
            return letter == o.letter && inputs == o.inputs && outputs == o.outputs
                && routing == o.routing && plans == o.plans && outputCards == o.outputCards
                && inputCards == o.inputCards;
        }
        bool operator!=(const State &o) const { return !(*this == o); }
    };

    // inputs and outputs are clamped to 1..maxPorts; a letter outside A..H
    // becomes 'A'.
    explicit MatrixDevice(int inputs = 16, int outputs = 16, char letter = 'A');

    // Frames the bytes of one connection and handles every complete command.
    QVector<Outcome> feed(Session &session, const QByteArray &bytes);
    // The same one outcome at a time: takes bytes from *pos on until an
    // outcome results and returns true with it, or false when the bytes ran
    // out first. For callers that spread a long input over several turns or
    // must stop right after some command.
    bool feedOne(Session &session, const QByteArray &bytes, int *pos, Outcome *outcome);
    // Records what the session still holds (a partial command or a garbage
    // run) and empties it; for a connection that has gone quiet or closed.
    QVector<Outcome> flush(Session &session);
    // Handles one complete frame, "*" ... "!", bypassing the framer.
    Outcome handleCommand(const QByteArray &command);

    // Replies as the device would send them now.
    QByteArray infoReply() const;
    QByteArray routingMapReply() const;
    QByteArray modelText() const;

    const State &state() const { return m_state; }
    char letter() const { return m_state.letter; }
    int inputCount() const { return m_state.inputs; }
    int outputCount() const { return m_state.outputs; }
    int routeOf(int output) const; // 0 when output is out of 1..maxPorts
    QVector<int> routing() const; // outputCount() entries
    QVector<int> plan(int number) const; // empty when never saved
    OutputCard outputCard(int port) const; // default card when out of range
    InputCard inputCard(int port) const;

    // Direct set-up for tests and the command line; not reachable by commands.
    bool setPortCounts(int inputs, int outputs); // false (and no change) outside 1..maxPorts
    bool setLetter(char letter); // false outside A..H
    bool setRoute(int output, int input); // false when out of the current counts

    // The latest outcomes, oldest first. Beyond recordLimit() the oldest
    // are dropped, in batches of an eighth of the limit so that a long run
    // costs the same per outcome as a short one: between recordLimit() and
    // recordLimit() + recordLimit() / 8 are kept once that many happened.
    const QVector<Outcome> &records() const { return m_records; }
    int recordLimit() const { return m_recordLimit; }
    void setRecordLimit(int limit);

    static int defaultRouteOf(int output, int inputs) { return output <= inputs ? output : 1; }

private:
    Outcome record(Outcome outcome);
    Outcome fromPiece(const CommandFramer::Piece &piece);

    State m_state;
    QVector<Outcome> m_records;
    int m_recordLimit = 10000;
};

// Dropping old records moves the rest in memory rather than copying each.
Q_DECLARE_TYPEINFO(MatrixDevice::Outcome, Q_MOVABLE_TYPE);

#endif // SIM_MATRIXDEVICE_H
