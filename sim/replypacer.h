#ifndef SIM_REPLYPACER_H
#define SIM_REPLYPACER_H

#include "sim/simoptions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

class LinkEndpoint;

// Sends the transmissions of one connection (replies and garbage bursts)
// one at a time. Each waits for the reply delay, for the one before to have
// left the process and then for the connection's gap, and goes out whole or
// in fragments as the options say.
//
// A device sent commands faster than its replies can leave cannot keep them
// all. At most maxWaiting transmissions wait to start; one more pushes out
// the oldest waiting one of its own kind, else the oldest garbage burst,
// else the oldest of all; a burst finding no burst to push out is dropped
// itself. A reply reports a whole state, so the newest of a kind says all
// that a dropped one did, and a question asked after a flood is answered
// soon.
class ReplyPacer : public QObject
{
    Q_OBJECT
public:
    enum Kind { Information, RoutingMap, Burst };
    static constexpr int maxWaiting = 2; // three commands in a row are all answered

    ReplyPacer(LinkEndpoint *endpoint, const SimServerOptions &options, bool pty, QObject *parent);

    void enqueue(const QByteArray &bytes, Kind kind);
    bool isIdle() const { return m_queue.isEmpty() && m_inFlight.isEmpty(); }
    void stop();

signals:
    void idle(); // nothing waits or is being written
    void dropped(int count); // when the backlog has cleared: how many were pushed out

private:
    struct Transmission
    {
        QByteArray bytes;
        Kind kind;
        qint64 notBefore;
    };

    void pump();
    void schedule(qint64 at);

    LinkEndpoint *m_endpoint;
    const SimServerOptions &m_options;
    bool m_pty;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_timerAt = -1; // when m_timer, if active, fires
    QVector<Transmission> m_queue;
    QByteArray m_inFlight;
    qint64 m_nextPieceAt = 0;
    qint64 m_lastEnd = -1;
    int m_dropped = 0;
    bool m_stopped = false;
    bool m_pumping = false;
};

#endif // SIM_REPLYPACER_H
