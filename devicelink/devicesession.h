#ifndef DEVICELINK_DEVICESESSION_H
#define DEVICELINK_DEVICESESSION_H

#include "devicelink/linkoptions.h"
#include "matrix/replyframer.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <optional>

class QIODevice;
class QSerialPort;
class QTcpSocket;

namespace devicelink {

class SignalPipe;

// One link to the device (TCP or serial) and the replies read from it.
//
// The device sends no terminator, so replies are cut by ReplyFramer: a
// routing map at its length, anything else when no byte has arrived for the
// quiet gap. Waiting is synchronous for the commands' sake: next() runs the
// event loop until a reply is complete, the link goes quiet, the link fails
// or the deadline passes, whichever comes first. Nothing here sleeps.
class DeviceSession : public QObject
{
    Q_OBJECT
public:
    struct Event
    {
        enum Kind {
            Reply, // chunk holds a complete reply (or noise, decoded as Ignored)
            Quiet, // no byte for the quiet gap
            Failed, // the link failed or closed; error() says how
            TimedOut,
            Interrupted, // SIGINT or SIGTERM, after stopOnSignals()
        };
        Kind kind = TimedOut;
        ReplyFramer::Chunk chunk;
    };

    // Why the last call failed; the program words it and picks its exit code.
    enum class Failure {
        None,
        Open, // the line could not be opened or the connection not made
        Link, // the link failed or closed while in use
        NoReply, // the awaited reply did not come within the timeout
        Interrupted, // SIGINT or SIGTERM, after stopOnSignals()
        Unwritten, // bytes still unsent when the timeout ran out
    };

    explicit DeviceSession(const LinkOptions &options, QObject *parent = nullptr);
    ~DeviceSession() override;

    // Connects or opens the line within the timeout; false: see error().
    bool open();
    // Writes one command line as it is; nothing is added.
    void send(const QByteArray &line);
    // Every line written so far, in order: what a program reports as sent.
    QList<QByteArray> sentLines() const { return m_sent; }
    // Waits until every byte has left, then closes the link.
    bool finish();

    Event next(const QDeadlineTimer &deadline);
    // A deadline of --timeout from now.
    QDeadlineTimer deadline() const { return QDeadlineTimer(m_options.timeoutMs); }
    // Waits for the next reply of this kind within the timeout; other
    // replies are passed over. On failure error() says what was missing.
    std::optional<StatusReply> await(StatusReply::Kind kind);

    int outputCount() const { return m_framer.outputCount(); }
    int timeoutMs() const { return m_options.timeoutMs; }
    QString error() const { return m_error; }
    Failure failure() const { return m_failure; }
    QString linkName() const;
    int quietGapMs() const;

    // From now on SIGINT and SIGTERM end the wait with Interrupted.
    void stopOnSignals();

private:
    void received();
    void quietElapsed();
    void fail(const QString &message);
    void setFailure(Failure failure, const QString &message);

    LinkOptions m_options;
    QTcpSocket *m_socket = nullptr;
    QSerialPort *m_serial = nullptr;
    QIODevice *m_device = nullptr;
    ReplyFramer m_framer;
    QList<ReplyFramer::Chunk> m_ready;
    QTimer m_quietTimer;
    bool m_quiet = false;
    bool m_failed = false;
    bool m_interrupted = false;
    QString m_error;
    QList<QByteArray> m_sent;
    Failure m_failure = Failure::None;
};

} // namespace devicelink

#endif // DEVICELINK_DEVICESESSION_H
