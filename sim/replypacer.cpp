#include "sim/replypacer.h"

#include "sim/linkendpoint.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <climits>

ReplyPacer::ReplyPacer(LinkEndpoint *endpoint, const SimServerOptions &options, bool pty,
                       QObject *parent)
    : QObject(parent)
    , m_endpoint(endpoint)
    , m_options(options)
    , m_pty(pty)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplyPacer::pump);
    connect(endpoint, &LinkEndpoint::drained, this, &ReplyPacer::pump);
}

void ReplyPacer::enqueue(const QByteArray &bytes, Kind kind)
{
    if (m_stopped)
        return;
    // Without a reply delay the moment of arrival does not matter, and
    // reading the clock for every reply of a flood would.
    const qint64 notBefore
        = m_options.replyDelayMs > 0 ? m_clock.elapsed() + m_options.replyDelayMs : 0;
    if (m_queue.size() >= maxWaiting) {
        // The queue has been waiting for its moment all along: pump() has
        // already arranged to come back.
        // Noise is lost first: a burst never pushes out a reply, and a
        // reply pushes out a waiting burst before a reply of another kind.
        // Otherwise the burst ahead of each answer to "*?!*!" would push
        // the information out, and the client would never learn the counts.
        const auto ofKind = [this](Kind k) {
            return std::find_if(m_queue.begin(), m_queue.end(),
                                [k](const Transmission &t) { return t.kind == k; });
        };
        auto victim = ofKind(kind);
        if (victim == m_queue.end())
            victim = ofKind(Burst);
        ++m_dropped;
        if (victim == m_queue.end()) {
            if (kind == Burst)
                return;
            victim = m_queue.begin();
        }
        std::rotate(victim, victim + 1, m_queue.end());
        m_queue.last() = {bytes, kind, notBefore};
        return;
    }
    m_queue.append({bytes, kind, notBefore});
    pump();
}

void ReplyPacer::stop()
{
    m_stopped = true;
    m_timer.stop();
    m_queue.clear();
    m_inFlight.clear();
}

void ReplyPacer::pump()
{
    // Writing may report drained() at once, which calls us again.
    if (m_pumping)
        return;
    const QScopedValueRollback<bool> pumping(m_pumping, true);
    const int gap = m_pty ? m_options.ptyReplyGapMs : m_options.tcpReplyGapMs;
    while (!m_stopped) {
        const qint64 t = m_clock.elapsed();
        if (!m_inFlight.isEmpty()) {
            if (t < m_nextPieceAt)
                return schedule(m_nextPieceAt);
            const int k = m_options.fragmentBytes > 0 ? m_options.fragmentBytes : m_inFlight.size();
            const QByteArray piece = m_inFlight.left(k);
            m_inFlight.remove(0, k);
            m_nextPieceAt = t + std::max(0, m_options.fragmentGapMs);
            m_endpoint->write(piece);
            if (m_inFlight.isEmpty())
                m_lastEnd = t;
            continue;
        }
        if (m_queue.isEmpty()) {
            if (m_dropped > 0) {
                emit dropped(m_dropped);
                m_dropped = 0;
            }
            emit idle();
            if (m_queue.isEmpty())
                return;
            continue; // something was queued meanwhile
        }
        // A client that does not read would otherwise have every reply
        // pile up here; drained() brings us back.
        if (m_endpoint->unwritten() > 0)
            return;
        qint64 start = m_queue.first().notBefore;
        if (m_lastEnd >= 0)
            start = std::max(start, m_lastEnd + gap);
        if (t < start)
            return schedule(start);
        m_inFlight = m_queue.takeFirst().bytes;
        m_nextPieceAt = t;
    }
}

void ReplyPacer::schedule(qint64 at)
{
    // Under a flood every reply asks again for the same moment; restarting
    // the timer each time would cost more than the reply.
    if (m_timer.isActive() && m_timerAt == at)
        return;
    m_timerAt = at;
    m_timer.start(static_cast<int>(std::clamp<qint64>(at - m_clock.elapsed(), 0, INT_MAX)));
}
