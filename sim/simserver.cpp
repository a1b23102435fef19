#include "sim/simserver.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

QString simPrintable(const QByteArray &bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && u != '\\')
            out += QChar::fromLatin1(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

// One connection: a TCP client or the pty master. Holds the framing session,
// the queue of transmissions and the pacing clock of that connection.
class SimLink : public QObject
{
public:
    SimLink(SimServer *server, const QString &name, bool pty)
        : QObject(server)
        , m_server(server)
        , m_name(name)
        , m_pty(pty)
    {
        m_pump.setSingleShot(true);
        m_pump.setTimerType(Qt::PreciseTimer);
        connect(&m_pump, &QTimer::timeout, this, [this] { pump(); });
        // A garbage run without a line feed would otherwise only be logged
        // when the next '*' arrives; someone typing at the simulator wants
        // to see it now.
        m_idle.setSingleShot(true);
        m_idle.setInterval(200);
        connect(&m_idle, &QTimer::timeout, this, [this] {
            if (!m_session.inCommand() && !m_session.pendingBytes().isEmpty())
                m_server->handleOutcomes(this, m_server->m_device.flush(m_session));
        });
    }

    ~SimLink() override { closeFds(); }

    const QString &name() const { return m_name; }
    bool isPty() const { return m_pty; }

    void attachSocket(QTcpSocket *socket)
    {
        m_socket = socket;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this] { received(m_socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { finish(); });
    }

    void attachPty(int master, int slave, const QString &slavePath)
    {
        m_master = master;
        m_slave = slave;
        m_slavePath = slavePath;
        m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { readPty(); });
        m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
        m_writeNotifier->setEnabled(false);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { writePtyBacklog(); });
    }

    QString slavePath() const { return m_slavePath; }

    void received(const QByteArray &bytes)
    {
        if (m_closing || m_finished)
            return;
        MatrixDevice &device = m_server->m_device;
        const int limit = m_server->m_options.closeAfterCommands;
        if (limit <= 0) {
            m_server->handleOutcomes(this, device.feed(m_session, bytes));
        } else {
            // Byte by byte, so that nothing after the last allowed command
            // reaches the device.
            for (int i = 0; i < bytes.size() && !m_closing; ++i)
                m_server->handleOutcomes(this, device.feed(m_session, bytes.mid(i, 1)));
        }
        if (!m_session.inCommand() && !m_session.pendingBytes().isEmpty())
            m_idle.start();
        else
            m_idle.stop();
        pump();
    }

    void enqueue(const QByteArray &bytes)
    {
        m_queue.append({bytes, m_server->now() + m_server->m_options.replyDelayMs});
    }

    int countCommand() { return ++m_commands; }
    void closeWhenDrained() { m_closing = true; }

    void pump()
    {
        const SimServer::Options &o = m_server->m_options;
        const int gap = m_pty ? o.ptyReplyGapMs : o.tcpReplyGapMs;
        while (!m_finished) {
            const qint64 t = m_server->now();
            if (!m_inFlight.isEmpty()) {
                if (t < m_nextPieceAt)
                    return schedule(m_nextPieceAt - t);
                const int k = o.fragmentBytes > 0 ? o.fragmentBytes : m_inFlight.size();
                write(m_inFlight.left(k));
                m_inFlight.remove(0, k);
                if (m_inFlight.isEmpty()) {
                    m_lastEnd = t;
                    emit m_server->transmitted(m_name, m_whole);
                } else {
                    m_nextPieceAt = t + std::max(0, o.fragmentGapMs);
                }
                continue;
            }
            if (m_queue.isEmpty()) {
                if (m_closing)
                    shutdown();
                return;
            }
            qint64 start = m_queue.first().notBefore;
            if (m_lastEnd >= 0)
                start = std::max(start, m_lastEnd + gap);
            if (t < start)
                return schedule(start - t);
            m_whole = m_queue.takeFirst().bytes;
            m_inFlight = m_whole;
            m_nextPieceAt = t;
        }
    }

    // Ends the connection from our side.
    void shutdown()
    {
        if (m_finished)
            return;
        if (m_socket) {
            m_socket->disconnectFromHost(); // finish() follows on disconnected()
            if (m_socket->state() == QAbstractSocket::UnconnectedState)
                finish();
        } else if (!consoleHasReadEverything() && m_server->now() < lingerDeadline()) {
            // Closing the master discards what the other side has not read
            // yet; let the last reply be read first.
            QTimer::singleShot(10, this, [this] { shutdown(); });
        } else {
            finish();
        }
    }

    // Ends the connection without waiting for anything.
    void abort()
    {
        if (m_socket)
            m_socket->abort();
        finish();
    }

private:
    // Whether the slave side has read all we wrote to the master. The kernel
    // moves written bytes to the slave's input queue a moment later, so an
    // empty queue right after a write proves nothing: it must stay empty
    // for a while after the last write.
    bool consoleHasReadEverything() const
    {
        int pending = 0;
        if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &pending) != 0)
            return true;
        return pending == 0 && m_backlog.isEmpty() && m_server->now() - m_lastWrite >= 50;
    }

    qint64 lingerDeadline()
    {
        if (m_lingerDeadline < 0)
            m_lingerDeadline = m_server->now() + 2000;
        return m_lingerDeadline;
    }

    struct Transmission
    {
        QByteArray bytes;
        qint64 notBefore;
    };

    void schedule(qint64 ms) { m_pump.start(static_cast<int>(std::min<qint64>(ms, INT_MAX))); }

    void write(const QByteArray &bytes)
    {
        if (m_socket) {
            m_socket->write(bytes);
            m_socket->flush();
            return;
        }
        if (m_master < 0)
            return;
        m_lastWrite = m_server->now();
        if (!m_backlog.isEmpty()) {
            m_backlog += bytes;
            return;
        }
        const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
        const int written = n < 0 ? 0 : static_cast<int>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        if (written < bytes.size()) {
            m_backlog = bytes.mid(written);
            m_writeNotifier->setEnabled(true);
        }
    }

    void writePtyBacklog()
    {
        const QByteArray pending = m_backlog;
        m_backlog.clear();
        m_writeNotifier->setEnabled(false);
        write(pending);
    }

    void readPty()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                received(QByteArray(buffer, static_cast<int>(n)));
                if (m_finished)
                    return;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            // End of file or a hard error: stop watching, or the notifier
            // would fire in a busy loop.
            m_readNotifier->setEnabled(false);
            return;
        }
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_pump.stop();
        m_idle.stop();
        m_server->handleOutcomes(this, m_server->m_device.flush(m_session));
        closeFds();
        m_server->linkFinished(this);
    }

    void closeFds()
    {
        // The notifiers may be the very senders whose signal is being
        // handled (a close-after fault on the pty), so they are only
        // disabled here and deleted later.
        for (QSocketNotifier *n : {m_readNotifier, m_writeNotifier}) {
            if (n) {
                n->setEnabled(false);
                n->deleteLater();
            }
        }
        m_readNotifier = m_writeNotifier = nullptr;
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

    SimServer *m_server;
    QString m_name;
    bool m_pty;
    MatrixDevice::Session m_session;
    QTcpSocket *m_socket = nullptr;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_backlog;
    QList<Transmission> m_queue;
    QByteArray m_whole;
    QByteArray m_inFlight;
    qint64 m_nextPieceAt = 0;
    qint64 m_lastEnd = -1;
    QTimer m_pump;
    QTimer m_idle;
    int m_commands = 0;
    bool m_closing = false;
    bool m_finished = false;
    qint64 m_lingerDeadline = -1;
    qint64 m_lastWrite = -1;
};

SimServer::SimServer(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_random(options.garbageSeed)
{
    m_clock.start();
}

SimServer::~SimServer()
{
    stop();
}

bool SimServer::listenTcp()
{
    if (!m_tcpServer) {
        m_tcpServer = new QTcpServer(this);
        connect(m_tcpServer, &QTcpServer::newConnection, this, &SimServer::onNewConnection);
    }
    if (m_tcpServer->isListening())
        return true;
    if (!m_tcpServer->listen(m_options.address, m_options.port)) {
        m_error = QStringLiteral("cannot listen on %1:%2: %3")
                      .arg(m_options.address.toString())
                      .arg(m_options.port)
                      .arg(m_tcpServer->errorString());
        return false;
    }
    return true;
}

bool SimServer::isListening() const
{
    return m_tcpServer && m_tcpServer->isListening();
}

quint16 SimServer::tcpPort() const
{
    return isListening() ? m_tcpServer->serverPort() : 0;
}

QHostAddress SimServer::tcpAddress() const
{
    return isListening() ? m_tcpServer->serverAddress() : QHostAddress();
}

int SimServer::tcpClientCount() const
{
    return static_cast<int>(std::count_if(m_links.begin(), m_links.end(),
                                          [](const SimLink *l) { return !l->isPty(); }));
}

void SimServer::onNewConnection()
{
    while (QTcpSocket *socket = m_tcpServer->nextPendingConnection()) {
        const QString name = QStringLiteral("tcp#%1 %2:%3")
                                 .arg(m_nextClientNumber++)
                                 .arg(socket->peerAddress().toString())
                                 .arg(socket->peerPort());
        auto *link = new SimLink(this, name, false);
        link->attachSocket(socket);
        m_links.append(link);
        emit linkOpened(name);
    }
}

bool SimServer::openPty(const QString &linkPath)
{
    if (m_ptyLink)
        return true;
    termios raw {};
    cfmakeraw(&raw);
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        m_error = QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    char path[PATH_MAX] = {};
    if (::ttyname_r(slave, path, sizeof path) != 0) {
        m_error = QStringLiteral("cannot name the pty slave");
        ::close(master);
        ::close(slave);
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    const QString slavePath = QString::fromLocal8Bit(path);

    if (!linkPath.isEmpty()) {
        const QFileInfo info(linkPath);
        if (info.isSymLink()) {
            QFile::remove(linkPath);
        } else if (info.exists()) {
            m_error
                = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath);
            ::close(master);
            ::close(slave);
            return false;
        }
        if (!QFile::link(slavePath, linkPath)) {
            m_error = QStringLiteral("cannot make the symlink %1").arg(linkPath);
            ::close(master);
            ::close(slave);
            return false;
        }
        m_linkPath = linkPath;
    }

    m_ptyLink = new SimLink(this, QStringLiteral("pty %1").arg(slavePath), true);
    m_ptyLink->attachPty(master, slave, slavePath);
    m_links.append(m_ptyLink);
    emit linkOpened(m_ptyLink->name());
    return true;
}

bool SimServer::isPtyOpen() const
{
    return m_ptyLink != nullptr;
}

QString SimServer::ptySlavePath() const
{
    return m_ptyLink ? m_ptyLink->slavePath() : QString();
}

void SimServer::closePty()
{
    if (m_ptyLink)
        m_ptyLink->abort();
}

void SimServer::stop()
{
    if (m_tcpServer)
        m_tcpServer->close();
    const QVector<SimLink *> links = m_links;
    for (SimLink *link : links)
        link->abort();
}

void SimServer::linkFinished(SimLink *link)
{
    m_links.removeAll(link);
    if (link == m_ptyLink) {
        m_ptyLink = nullptr;
        if (!m_linkPath.isEmpty()) {
            if (QFileInfo(m_linkPath).isSymLink())
                QFile::remove(m_linkPath);
            m_linkPath.clear();
        }
    }
    emit linkClosed(link->name());
    link->deleteLater();
}

QByteArray SimServer::garbageBurst()
{
    QByteArray burst;
    burst.reserve(m_options.garbageBytes);
    while (burst.size() < m_options.garbageBytes) {
        const char c = static_cast<char>(m_random.bounded(256));
        if (c != ':')
            burst += c;
    }
    return burst;
}

void SimServer::handleOutcomes(SimLink *link, const QVector<MatrixDevice::Outcome> &outcomes)
{
    for (const MatrixDevice::Outcome &o : outcomes) {
        const QString line = QStringLiteral("%1 %2: %3 (%4)")
                                 .arg(link->name(),
                                      o.understood ? QStringLiteral("understood")
                                                   : QStringLiteral("not understood"),
                                      simPrintable(o.bytes), o.description);
        emit commandHandled(link->name(), o.bytes, o.understood, o.description);
        emit logLine(line);
        if (m_log)
            m_log(line);
        if (o.kind != MatrixDevice::Outcome::Command)
            continue;

        const int count = link->countCommand();
        const bool garbage = m_options.garbageEvery > 0 && count % m_options.garbageEvery == 0;
        if (garbage) {
            const QByteArray burst = garbageBurst();
            switch (m_options.garbageMode) {
            case GarbageMode::Before:
                link->enqueue(burst);
                if (!o.reply.isEmpty())
                    link->enqueue(o.reply);
                break;
            case GarbageMode::Prefix:
                link->enqueue(burst + o.reply);
                break;
            case GarbageMode::Instead:
                link->enqueue(burst);
                break;
            }
        } else if (!o.reply.isEmpty()) {
            link->enqueue(o.reply);
        }
        if (m_options.closeAfterCommands > 0 && count >= m_options.closeAfterCommands) {
            link->closeWhenDrained();
            break;
        }
    }
}
