#ifndef SIM_SIMLINK_H
#define SIM_SIMLINK_H

#include "sim/matrixdevice.h"
#include "sim/replypacer.h"

#include <QObject>
#include <QString>
#include <QTimer>

class LinkEndpoint;

// One connection of the simulator, a TCP client or the pty: its framing
// session, its reply queue and how it ends.
//
// Input is digested in bounded turns: at most maxOutcomesPerTurn outcomes or
// maxBytesPerTurn bytes, then the event loop has its turn (other
// connections, timers, signals) before the rest is taken. Every outcome is
// handed out through outcome(); whoever listens decides what to send back.
class SimLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int readChunkBytes = 16 * 1024;
    static constexpr int maxBytesPerTurn = 64 * 1024;
    static constexpr int maxOutcomesPerTurn = 1000;
    static constexpr int quietAfterMs = 200;

    // Takes the endpoint over; device and options must outlive the link.
    SimLink(const QString &name, LinkEndpoint *endpoint, bool pty, MatrixDevice &device,
            const SimServerOptions &options, QObject *parent);

    const QString &name() const { return m_name; }
    bool isPty() const { return m_pty; }
    LinkEndpoint *endpoint() const { return m_endpoint; }

    void send(const QByteArray &bytes, ReplyPacer::Kind kind) { m_pacer->enqueue(bytes, kind); }
    int countCommand() { return ++m_commands; }
    // Takes no more input (the rest never reaches the device) and hangs up
    // once everything queued has been sent.
    void closeWhenDrained();
    bool isClosing() const { return m_closing; }
    // Hangs up now.
    void abort();

signals:
    void outcome(SimLink *link, const MatrixDevice::Outcome &outcome);
    void quiet(SimLink *link); // no input for quietAfterMs
    void dropped(SimLink *link, int count); // see ReplyPacer
    void finished(SimLink *link);

private:
    bool digest(int maxOutcomes, int maxBytes);
    void digestTurn();
    void hungUp();
    void hangUpWhenIdle();
    void goneQuiet();
    void finish();
    void handOut(const QVector<MatrixDevice::Outcome> &outcomes);

    QString m_name;
    LinkEndpoint *m_endpoint;
    bool m_pty;
    MatrixDevice &m_device;
    MatrixDevice::Session m_session;
    ReplyPacer *m_pacer;
    QByteArray m_input; // read but not yet digested, from m_inputPos on
    int m_inputPos = 0;
    QTimer m_nextTurn;
    QTimer m_quiet;
    int m_commands = 0;
    bool m_closing = false;
    bool m_finished = false;
};

#endif // SIM_SIMLINK_H
