#ifndef DEVICELINK_DEVICESESSION_H
#define DEVICELINK_DEVICESESSION_H

#include "devicelink/linkoptions.h"
#include "devicelink/routecheck.h"
#include "matrix/replyframer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <optional>

class QIODevice;
class QSerialPort;
class QTcpSocket;

namespace devicelink {

// One link to the device (TCP or serial) and the replies read from it.
//
// The device sends no terminator, so replies are cut by ReplyFramer. The
// device also tells every connection of every change, and a serial line may
// still carry the answers to the previous program's questions: a wait
// therefore looks for the reply it needs wherever it lies in the stream and
// passes over the complete replies of other kinds in front of it.
//
// Waiting is synchronous for the commands' sake: each wait runs one event
// loop, which the link's signals and one deadline timer end. Nothing here
// sleeps or polls.
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

    // The next complete reply, or why there is none before the deadline.
    Event next(const QDeadlineTimer &deadline);
    // A deadline of --timeout from now.
    QDeadlineTimer deadline() const { return QDeadlineTimer(m_options.timeoutMs); }
    // Waits for the next reply of this kind within the timeout; other
    // replies are passed over. When the link stays silent for a third of
    // the timeout the question is asked again ("*?!" or "*!"), in case the
    // answer was lost. On failure error() and failure() say what was missing.
    std::optional<StatusReply> await(StatusReply::Kind kind);
    // After switches and a "*?!" behind them: waits for the routing map
    // that shows where the wanted routes ended up. A map that shows them
    // all ends the wait at once. One that does not may be another client's,
    // or an answer the previous call left on a serial line; such a map only
    // counts when it answers a "*!" asked once a device-information reply
    // has come (the switches before the probe are answered) or once the
    // link has been silent for reaskAfterMs() (nothing is on its way any
    // more). Without a map before the timeout the routes are Unconfirmed and
    // failure() is NoReply; a failed link leaves them Unconfirmed with
    // failure() Link or Interrupted.
    RouteCheck awaitRoutes(const Routes &wanted);

    int outputCount() const { return m_framer.outputCount(); }
    int timeoutMs() const { return m_options.timeoutMs; }
    QString error() const { return m_error; }
    Failure failure() const { return m_failure; }
    QString linkName() const;
    int quietGapMs() const;
    // How long a silent link is waited for before a question is asked again.
    int reaskAfterMs() const;

    // From now on SIGINT and SIGTERM end the wait with Interrupted.
    void stopOnSignals();

signals:
    // Something a wait may be waiting for happened: a reply completed, the
    // link went quiet, failed or was interrupted.
    void progressed();

private:
    void received();
    void quietElapsed();
    void fail(const QString &message);
    void setFailure(Failure failure, const QString &message);
    // Runs the event loop until progressed() or the deadline.
    void waitFor(const QDeadlineTimer &until);
    QString noReplyMessage(StatusReply::Kind kind, const QByteArray &noise) const;

    LinkOptions m_options;
    QTcpSocket *m_socket = nullptr;
    QSerialPort *m_serial = nullptr;
    QIODevice *m_device = nullptr;
    ReplyFramer m_framer;
    QList<ReplyFramer::Chunk> m_ready;
    QTimer m_quietTimer;
    QElapsedTimer m_sinceByte; // since the last byte arrived (or the link opened)
    bool m_quiet = false;
    bool m_failed = false;
    bool m_interrupted = false;
    QString m_error;
    QList<QByteArray> m_sent;
    Failure m_failure = Failure::None;
    QByteArray m_unmeasuredMap; // the last map-like chunk passed over as unmeasurable
};

} // namespace devicelink

#endif // DEVICELINK_DEVICESESSION_H
