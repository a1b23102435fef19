#include "sim/outcomelog.h"

#include "codec/codec.h"

QString OutcomeLog::line(const QString &name, const MatrixDevice::Outcome &o)
{
    return name
        + (o.understood ? QLatin1String(" understood: ") : QLatin1String(" not understood: "))
        + printable(o.bytes) + QLatin1String(" (") + o.description + QLatin1Char(')');
}

void OutcomeLog::add(const void *link, const QString &name, const MatrixDevice::Outcome &o)
{
    if (o.kind == MatrixDevice::Outcome::Command) {
        settle(link, name);
        m_sink(line(name, o));
        return;
    }
    Streak &streak = m_streaks[link];
    if (streak.shown < noiseInARow) {
        ++streak.shown;
        m_sink(line(name, o));
        return;
    }
    ++streak.pieces;
    streak.bytes += o.bytes.size();
}

void OutcomeLog::settle(const void *link, const QString &name)
{
    const auto it = m_streaks.find(link);
    if (it == m_streaks.end())
        return;
    if (it->pieces > 0)
        m_sink(QStringLiteral("%1 not understood: %2 more bytes in %3 pieces outside commands or "
                              "in unfinished ones (not shown one by one)")
                   .arg(name)
                   .arg(it->bytes)
                   .arg(it->pieces));
    m_streaks.erase(it);
}
