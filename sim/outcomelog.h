#ifndef SIM_OUTCOMELOG_H
#define SIM_OUTCOMELOG_H

#include "sim/matrixdevice.h"

#include <QHash>
#include <QString>

#include <functional>

// The simulator's log: one line per outcome,
//   "<link> understood|not understood: <bytes> (<description>)".
// A flood of bytes that are not commands would make a line for every 64
// bytes, drown everything else and take longer to print than to digest. So
// after noiseInARow lines in a row about garbage or abandoned commands on
// one link, the rest are counted, and told in one line when a command comes
// again or the link goes quiet or closes.
class OutcomeLog
{
public:
    static constexpr int noiseInARow = 10;

    explicit OutcomeLog(std::function<void(const QString &)> sink)
        : m_sink(std::move(sink))
    { }

    void add(const void *link, const QString &name, const MatrixDevice::Outcome &outcome);
    // The link went quiet or closed: tells what was counted, if anything.
    void settle(const void *link, const QString &name);
    void forget(const void *link) { m_streaks.remove(link); }

    static QString line(const QString &name, const MatrixDevice::Outcome &outcome);

private:
    struct Streak
    {
        int shown = 0;
        qint64 pieces = 0; // counted, not shown
        qint64 bytes = 0;
    };

    std::function<void(const QString &)> m_sink;
    QHash<const void *, Streak> m_streaks;
};

#endif // SIM_OUTCOMELOG_H
