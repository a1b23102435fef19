#ifndef SIM_COMMANDFRAMER_H
#define SIM_COMMANDFRAMER_H

// Cuts the byte stream of one connection into pieces: whole commands,
// abandoned commands and runs of bytes outside any command. It holds the
// half-received piece between calls, so the pieces never depend on how the
// stream was split.
//
// A command starts at '*' and ends at the next '!'. A '*' inside an
// unfinished command abandons it and starts a new one: the device
// resynchronises on the start character. A command longer than
// maxCommandBytes is abandoned too. Bytes outside a command form runs that
// end at the next '*', at a line feed, or after maxGarbageRun bytes.
//
// Every byte is looked at once and a run is copied in one go, so the work is
// linear in the input however it is cut.

#include <QByteArray>
#include <QString>

class CommandFramer
{
public:
    static constexpr int maxCommandBytes = 256;
    static constexpr int maxGarbageRun = 64;

    struct Piece
    {
        enum Kind { Command, Incomplete, Garbage };
        Kind kind = Command;
        QByteArray bytes; // exactly as received
        QString why; // Incomplete and Garbage: what it was
    };

    // Takes bytes of data from *pos on until a piece is complete, then
    // returns true with it; returns false when data ran out first (what it
    // took is kept for the next call). *pos is left after the bytes taken.
    bool take(const QByteArray &data, int *pos, Piece *piece);
    // Hands out what is still held (a partial command or a garbage run) and
    // forgets it; false when nothing is held.
    bool flush(Piece *piece);

    bool inCommand() const { return m_inCommand; }
    QByteArray pendingBytes() const { return m_held; }

private:
    bool takeGarbage(const char *begin, const char *end, int *taken, Piece *piece);
    bool takeCommand(const char *begin, const char *end, int *taken, Piece *piece);
    void startCommand();
    void handOut(Piece::Kind kind, const QString &why, Piece *piece);

    bool m_inCommand = false;
    QByteArray m_held; // the command so far, or the garbage run so far
};

#endif // SIM_COMMANDFRAMER_H
