#include "devicelink/devicesession.h"

#include "codec/codec.h"
#include "commands/builders.h"
#include "devicelink/hostport.h"
#include "devicelink/seriallink.h"
#include "devicelink/signalpipe.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>
#include <utility>

namespace devicelink {

namespace {

// "L:" and digits only: a routing map, or noise that looks like one.
bool looksLikeMap(const QByteArray &bytes)
{
    return bytes.size() > 2 && bytes.at(1) == replymarkers::prefixColon
        && std::all_of(bytes.begin() + 2, bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

DeviceSession::DeviceSession(const LinkOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(quietGapMs());
    connect(&m_quietTimer, &QTimer::timeout, this, &DeviceSession::quietElapsed);
    m_sinceByte.start();
}

DeviceSession::~DeviceSession()
{
    if (m_device)
        m_device->close();
}

QString DeviceSession::linkName() const
{
    return devicelink::linkName(m_options);
}

int DeviceSession::reaskAfterMs() const
{
    return std::max(2 * quietGapMs(), m_options.timeoutMs / 3);
}

int DeviceSession::quietGapMs() const
{
    return devicelink::quietGapMs(m_options);
}

bool DeviceSession::open()
{
    const QDeadlineTimer until = deadline();
    if (m_options.kind == LinkOptions::Serial) {
        m_serial = new QSerialPort(this);
        m_device = m_serial;
        QString error;
        if (!openSerialLine(m_serial, m_options, &error)) {
            setFailure(Failure::Open, error);
            return false;
        }
        connect(m_serial, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError e) {
                    // A line that fails while open keeps signalling until closed.
                    if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError
                        || e == QSerialPort::WriteError) {
                        const QString why = m_serial->errorString();
                        m_serial->close();
                        fail(QStringLiteral("the serial line %1 failed: %2")
                                 .arg(m_options.serialPath, why));
                    }
                });
        connect(m_serial, &QSerialPort::readyRead, this, &DeviceSession::received);
        return true;
    }

    m_socket = new QTcpSocket(this);
    m_device = m_socket;
    {
        // One loop for the whole connect: it ends at the connection, at the
        // first error or at the deadline, and the connections to it die
        // with it, so no handler outlives this wait.
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(m_socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
        connect(m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        m_socket->connectToHost(m_options.host, m_options.port);
        if (m_socket->state() != QAbstractSocket::ConnectedState
            && m_socket->error() == QAbstractSocket::UnknownSocketError) {
            timer.start(int(std::max<qint64>(1, until.remainingTime())));
            loop.exec();
        }
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        if (m_socket->error() != QAbstractSocket::UnknownSocketError)
            setFailure(Failure::Open,
                       QStringLiteral("cannot connect to %1: %2")
                           .arg(linkName(), m_socket->errorString()));
        else
            setFailure(Failure::Open,
                       QStringLiteral("cannot connect to %1 within %2 ms")
                           .arg(linkName())
                           .arg(m_options.timeoutMs));
        m_socket->abort();
        return false;
    }
    // Commands are a few bytes each; do not hold them back.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &DeviceSession::received);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
            // What the stream completed still counts; an unfinished reply
            // is the tail the framer cannot complete.
            m_framer.append(m_socket->readAll());
            QList<ReplyFramer::Chunk> chunks = m_framer.take(true);
            QString note;
            if (!chunks.isEmpty() && chunks.last().reply.kind == StatusReply::Ignored) {
                const QByteArray tail = chunks.takeLast().bytes;
                note = QStringLiteral(" in the middle of a reply (%1 bytes: %2)")
                           .arg(tail.size())
                           .arg(printable(tail.left(64)));
            }
            m_ready += chunks;
            fail(QStringLiteral("the device closed the connection") + note);
        } else {
            fail(QStringLiteral("the connection to %1 failed: %2")
                     .arg(linkName(), m_socket->errorString()));
        }
    });
    return true;
}

void DeviceSession::send(const QByteArray &line)
{
    if (m_device && m_device->isOpen()) {
        m_device->write(line);
        m_sent << line;
    }
    m_sinceByte.restart();
}

bool DeviceSession::finish()
{
    if (!m_device || !m_device->isOpen())
        return !m_failed;
    const QDeadlineTimer until = deadline();
    if (m_device->bytesToWrite() > 0 && !m_failed) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &DeviceSession::progressed, &loop, &QEventLoop::quit);
        connect(m_device, &QIODevice::bytesWritten, &loop, [this, &loop] {
            if (m_device->bytesToWrite() == 0)
                loop.quit();
        });
        timer.start(int(std::max<qint64>(1, until.remainingTime())));
        loop.exec();
    }
    if (m_failed)
        return false;
    if (m_device->bytesToWrite() > 0) {
        setFailure(Failure::Unwritten,
                   QStringLiteral("could not write to %1 within %2 ms")
                       .arg(linkName())
                       .arg(m_options.timeoutMs));
        return false;
    }
    if (m_socket) {
        // The device sees an orderly end after the last command.
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->disconnectFromHost();
    } else {
        m_serial->close();
    }
    return true;
}

void DeviceSession::received()
{
    if (!m_device)
        return;
    m_framer.append(m_device->readAll());
    const QList<ReplyFramer::Chunk> chunks = m_framer.take(false);
    m_ready += chunks;
    m_quiet = false;
    m_quietTimer.start();
    m_sinceByte.restart();
    if (!chunks.isEmpty())
        emit progressed();
}

void DeviceSession::quietElapsed()
{
    m_ready += m_framer.take(true);
    m_quiet = true;
    emit progressed();
}

void DeviceSession::fail(const QString &message)
{
    if (m_failed)
        return;
    m_failed = true;
    setFailure(Failure::Link, message);
    emit progressed();
}

void DeviceSession::setFailure(Failure failure, const QString &message)
{
    m_failure = failure;
    m_error = message;
}

void DeviceSession::waitFor(const QDeadlineTimer &until)
{
    QEventLoop loop;
    connect(this, &DeviceSession::progressed, &loop, &QEventLoop::quit);
    QTimer timer;
    if (!until.isForever()) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(int(std::max<qint64>(0, until.remainingTime())));
    }
    loop.exec();
}

DeviceSession::Event DeviceSession::next(const QDeadlineTimer &until)
{
    for (;;) {
        if (!m_ready.isEmpty()) {
            const ReplyFramer::Chunk chunk = m_ready.takeFirst();
            if (chunk.reply.kind == StatusReply::Ignored && looksLikeMap(chunk.bytes))
                m_unmeasuredMap = chunk.bytes;
            else if (chunk.reply.kind == StatusReply::RoutingMap)
                m_unmeasuredMap.clear(); // a newer word on the routing
            return {Event::Reply, chunk};
        }
        if (m_quiet) {
            m_quiet = false;
            return {Event::Quiet, {}};
        }
        if (m_failed)
            return {Event::Failed, {}};
        if (m_interrupted)
            return {Event::Interrupted, {}};
        if (until.hasExpired())
            return {Event::TimedOut, {}};
        // A wait with nothing arriving ends in a quiet period too.
        if (!m_quietTimer.isActive())
            m_quietTimer.start();
        waitFor(until);
    }
}

QString DeviceSession::noReplyMessage(StatusReply::Kind kind, const QByteArray &noise) const
{
    const QString what = kind == StatusReply::RoutingMap ? QStringLiteral("no routing map")
                                                         : QStringLiteral("no device information");
    QString message
        = QStringLiteral("%1 from %2 within %3 ms").arg(what, linkName()).arg(m_options.timeoutMs);
    const QByteArray unread = noise + m_framer.pending();
    if (!unread.isEmpty())
        message += QStringLiteral("; it sent %1 bytes that are no reply: %2")
                       .arg(unread.size())
                       .arg(printable(unread.left(64)));
    return message;
}

std::optional<StatusReply> DeviceSession::await(StatusReply::Kind kind)
{
    const QDeadlineTimer until = deadline();
    const QByteArray question
        = kind == StatusReply::RoutingMap ? commands::queryCommand() : commands::refreshCommand();
    QByteArray noise;
    for (;;) {
        const QDeadlineTimer reask(std::max<qint64>(0, reaskAfterMs() - m_sinceByte.elapsed()));
        const bool reaskFirst = reask.deadline() < until.deadline();
        const Event event = next(reaskFirst ? reask : until);
        switch (event.kind) {
        case Event::Reply:
            if (event.chunk.reply.kind == kind)
                return event.chunk.reply;
            if (event.chunk.reply.kind == StatusReply::Ignored)
                noise += event.chunk.bytes;
            break;
        case Event::Quiet:
            break;
        case Event::Failed:
            return std::nullopt;
        case Event::Interrupted:
            setFailure(Failure::Interrupted, QStringLiteral("interrupted"));
            return std::nullopt;
        case Event::TimedOut:
            if (reaskFirst) {
                send(question); // the answer may have been lost; ask once more
                break;
            }
            setFailure(Failure::NoReply, noReplyMessage(kind, noise));
            return std::nullopt;
        }
    }
}

RouteCheck DeviceSession::awaitRoutes(const Routes &wanted)
{
    // Each reply gives the next one a whole timeout (a device answers every
    // switch, one at a time on a slow line), but other clients' replies
    // cannot keep the wait going for ever.
    const QDeadlineTimer limit(qint64(m_options.timeoutMs) * (2 + wanted.size()));
    QDeadlineTimer until = deadline();
    bool asked = false; // "*!" sent: the next map is the device's word
    std::optional<QVector<int>> last;
    // A map that came before the device information could not be measured
    // then; it can now, and when it shows every route there is no more to
    // wait for (on a paced serial line it may be the only one to come).
    const StatusReply early = decodeStatusReply(std::exchange(m_unmeasuredMap, {}), outputCount());
    if (early.kind == StatusReply::RoutingMap && routesHold(wanted, early.sources))
        return checkRoutes(wanted, early.sources);
    for (;;) {
        const QDeadlineTimer reask(std::max<qint64>(0, reaskAfterMs() - m_sinceByte.elapsed()));
        const bool reaskFirst = reask.deadline() < until.deadline();
        const Event event = next(reaskFirst ? reask : until);
        switch (event.kind) {
        case Event::Reply: {
            until = std::min(deadline(), limit);
            const StatusReply &reply = event.chunk.reply;
            if (reply.kind == StatusReply::RoutingMap) {
                last = reply.sources;
                if (asked || routesHold(wanted, *last))
                    return checkRoutes(wanted, last);
            } else if (reply.kind == StatusReply::DeviceInformation && !asked) {
                // Every switch before the probe has been answered: a map
                // asked for now shows where the routes ended up.
                asked = true;
                send(commands::queryCommand());
            }
            break;
        }
        case Event::Quiet:
            break;
        case Event::Failed:
            return checkRoutes(wanted, std::nullopt);
        case Event::Interrupted:
            setFailure(Failure::Interrupted, QStringLiteral("interrupted"));
            return checkRoutes(wanted, std::nullopt);
        case Event::TimedOut:
            if (reaskFirst) {
                // Silence: nothing is on its way any more, and the map may
                // have been lost (a paced serial line drops the oldest
                // answers when questions come too fast). Its answer is the
                // state after every switch.
                send(commands::queryCommand());
                asked = true;
                break;
            }
            if (last)
                return checkRoutes(wanted, last);
            setFailure(Failure::NoReply, noReplyMessage(StatusReply::RoutingMap, {}));
            return checkRoutes(wanted, std::nullopt);
        }
    }
}

void DeviceSession::stopOnSignals()
{
    auto *pipe = new SignalPipe(this);
    connect(pipe, &SignalPipe::received, this, [this] {
        m_interrupted = true;
        emit progressed();
    });
}

} // namespace devicelink
