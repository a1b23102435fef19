#ifndef SIM_SIMSERVER_H
#define SIM_SIMSERVER_H

// Serves one MatrixDevice over TCP (any number of clients) and over a
// pseudo-terminal, the way the real device answers on its network port and
// its serial line.
//
// Every connection (each TCP client, the pty) has its own framing session
// and its own queue of replies; all share the device state. A change made
// on one connection (a switch, a recalled plan, a new port count) is
// announced to every other connection with the same reply, unasked. Replies leave
// one at a time: after a reply has been written completely, the next one on
// that connection waits at least the connection's reply gap. On the pty the
// default gap is longer than the console's 500 ms serial gathering window,
// so two replies never fall into one reading there.
//
// Fault modes, all per connection and counted in complete commands
// ("*...!", understood or not):
//   closeAfterCommands N  - after the N-th command (and its reply) the
//                           connection is closed; for the pty the master is
//                           closed and the pty is not served any more.
//   fragmentBytes K, fragmentGapMs G
//                         - every transmission is written in pieces of K
//                           bytes, G ms apart.
//   garbageEvery N        - on every N-th command a burst of garbageBytes
//                           random bytes (never ':', so it cannot pass for a
//                           reply) is sent, as set by garbageMode:
//                             Before:  a transmission of its own, paced like
//                                      a reply, ahead of the reply (if any);
//                             Prefix:  glued to the front of the reply, one
//                                      transmission;
//                             Instead: in place of the reply.
//
// Under a flood every connection still gets its turn (see SimLink), a
// connection sent commands faster than its replies leave keeps only the
// newest few replies waiting (see ReplyPacer), and while the process is
// out of file descriptors it stops accepting for a while instead of trying
// again at once.
//
// Usable in-process: create it in the test's event loop, listen on
// 127.0.0.1 port 0 and read tcpPort().

#include "sim/matrixdevice.h"
#include "sim/outcomelog.h"
#include "sim/simoptions.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QVector>

#include <functional>

class PtyEndpoint;
class QTcpSocket;
class SimLink;
class TcpListener;

class SimServer : public QObject
{
    Q_OBJECT
public:
    using Options = SimServerOptions;
    using GarbageMode = SimServerOptions::GarbageMode;

    explicit SimServer(const Options &options = Options(), QObject *parent = nullptr);
    ~SimServer() override;

    // The one device all connections talk to; configure it before or while
    // serving (setPortCounts, setLetter, setRoute).
    MatrixDevice &device() { return m_device; }
    const Options &options() const { return m_options; }
    // Takes effect for transmissions queued afterwards.
    void setOptions(const Options &options) { m_options = options; }

    bool listenTcp(); // on options().address / port
    bool isListening() const;
    quint16 tcpPort() const; // the port actually bound
    QHostAddress tcpAddress() const;

    // Opens a pty in raw mode and serves its master side. The simulator keeps
    // a slave descriptor of its own open so that the pty survives the
    // console closing and reopening the port. With a non-empty linkPath a
    // symlink to the slave is made there (an existing symlink is replaced,
    // anything else is refused) and removed again by closePty().
    bool openPty(const QString &linkPath = QString());
    QString ptySlavePath() const;
    void closePty();

    // Stops listening, drops every TCP client and closes the pty.
    void stop();

    QString errorString() const { return m_error; }

    // Optional sink for the log lines, besides the logLine signal.
    void setLogFunction(std::function<void(const QString &)> log) { m_log = std::move(log); }

signals:
    // One per outcome of the device (command, incomplete command, garbage run).
    void commandHandled(const QString &link, const QByteArray &bytes, bool understood,
                        const QString &description);
    // The same, as a ready-made line: "<link> understood|not understood: <bytes> (<description>)",
    // with floods of garbage told in one line (see OutcomeLog); also notices
    // about accepting connections and replies dropped under a flood.
    void logLine(const QString &line);
    void linkOpened(const QString &link);

private:
    void addTcpClient(QTcpSocket *socket);
    void addLink(SimLink *link);
    void handleOutcome(SimLink *link, const MatrixDevice::Outcome &outcome);
    static bool changesState(const MatrixDevice::Outcome &outcome);
    void announce(SimLink *from, const MatrixDevice::Outcome &outcome);
    void linkFinished(SimLink *link);
    void log(const QString &line);
    bool logging() const;
    QByteArray garbageBurst();

    Options m_options;
    MatrixDevice m_device;
    TcpListener *m_listener = nullptr;
    QVector<SimLink *> m_links;
    SimLink *m_ptyLink = nullptr;
    PtyEndpoint *m_pty = nullptr;
    QString m_linkPath;
    QString m_error;
    QRandomGenerator m_random;
    int m_nextClientNumber = 1;
    std::function<void(const QString &)> m_log;
    OutcomeLog m_outcomeLog;
};

#endif // SIM_SIMSERVER_H
