#include "sim/commandframer.h"

#include <algorithm>

namespace {

QString outsideACommand()
{
    return QStringLiteral("bytes outside a command");
}

} // namespace

bool CommandFramer::take(const QByteArray &data, int *pos, Piece *piece)
{
    const char *const end = data.constData() + data.size();
    while (*pos < data.size()) {
        const char *const begin = data.constData() + *pos;
        int taken = 0;
        const bool complete = m_inCommand ? takeCommand(begin, end, &taken, piece)
                                          : takeGarbage(begin, end, &taken, piece);
        *pos += taken;
        if (complete)
            return true;
    }
    return false;
}

bool CommandFramer::flush(Piece *piece)
{
    const bool held = !m_held.isEmpty();
    if (held)
        handOut(m_inCommand ? Piece::Incomplete : Piece::Garbage,
                m_inCommand ? QStringLiteral("ended without '!'") : outsideACommand(), piece);
    m_inCommand = false;
    return held;
}

bool CommandFramer::takeGarbage(const char *begin, const char *end, int *taken, Piece *piece)
{
    if (*begin == '*') {
        const bool ended = !m_held.isEmpty();
        if (ended)
            handOut(Piece::Garbage, outsideACommand(), piece);
        m_inCommand = true;
        startCommand();
        *taken = 1;
        return ended;
    }
    const int room = maxGarbageRun - m_held.size();
    const int n = static_cast<int>(std::min<std::ptrdiff_t>(room, end - begin));
    int i = 0;
    bool lineEnd = false;
    for (; i < n; ++i) {
        if (begin[i] == '*')
            break;
        if (begin[i] == '\n') {
            lineEnd = true;
            ++i;
            break;
        }
    }
    m_held.append(begin, i);
    *taken = i;
    if (!lineEnd && m_held.size() < maxGarbageRun)
        return false; // out of data, or a '*' comes next
    handOut(Piece::Garbage, outsideACommand(), piece);
    return true;
}

bool CommandFramer::takeCommand(const char *begin, const char *end, int *taken, Piece *piece)
{
    const int room = maxCommandBytes - m_held.size();
    const int n = static_cast<int>(std::min<std::ptrdiff_t>(room, end - begin));
    int i = 0;
    while (i < n && begin[i] != '*' && begin[i] != '!')
        ++i;
    if (i < n && begin[i] == '*') {
        m_held.append(begin, i);
        *taken = i + 1;
        handOut(Piece::Incomplete, QStringLiteral("abandoned: a new command began before '!'"),
                piece);
        startCommand();
        return true;
    }
    if (i < n) {
        m_held.append(begin, i + 1);
        *taken = i + 1;
        m_inCommand = false;
        handOut(Piece::Command, QString(), piece);
        return true;
    }
    m_held.append(begin, n);
    *taken = n;
    if (m_held.size() < maxCommandBytes)
        return false;
    m_inCommand = false;
    handOut(Piece::Incomplete,
            QStringLiteral("abandoned: longer than %1 bytes without '!'").arg(maxCommandBytes),
            piece);
    return true;
}

void CommandFramer::startCommand()
{
    m_held.reserve(32); // most commands fit, so they grow no further
    m_held += '*';
}

void CommandFramer::handOut(Piece::Kind kind, const QString &why, Piece *piece)
{
    piece->kind = kind;
    piece->why = why;
    piece->bytes.clear();
    piece->bytes.swap(m_held);
}
