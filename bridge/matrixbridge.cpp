#include "bridge/matrixbridge.h"

#include "bridge/devicechannel.h"
#include "bridge/eventlog.h"
#include "codec/codec.h"
#include "commands/builders.h"
#include "devicelink/seriallink.h"

#include <algorithm>
#include <cmath>

using eventlog::logEvent;
using eventlog::logVerbose;

namespace {

// Bytes that never make a reply (a device sending noise) are let go at this
// size rather than searched again on every arrival.
constexpr int maxPendingBytes = 64 * 1024;
// Start, 8 data bits, stop.
constexpr double bitsPerCharacter = 10.0;

QString describe(const StatusReply &info)
{
    return QStringLiteral("device %1, model %2, %3 inputs, %4 outputs")
        .arg(info.deviceLetter, info.model)
        .arg(info.inputs)
        .arg(info.outputs);
}

} // namespace

MatrixBridge::MatrixBridge(const BridgeOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_channel(
          new DeviceChannel(options.link, options.reconnectMinMs, options.reconnectMaxMs, this))
{
    connect(m_channel, &DeviceChannel::opened, this, &MatrixBridge::opened);
    connect(m_channel, &DeviceChannel::failed, this, &MatrixBridge::failed);
    connect(m_channel, &DeviceChannel::received, this, &MatrixBridge::received);

    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(quietGapMs());
    connect(&m_quietTimer, &QTimer::timeout, this, [this] { handleChunks(m_framer.take(true)); });
    m_gapTimer.setSingleShot(true);
    connect(&m_gapTimer, &QTimer::timeout, this, &MatrixBridge::sendNext);
    m_pollTimer.setSingleShot(true);
    m_pollTimer.setInterval(options.pollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &MatrixBridge::poll);
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(options.link.timeoutMs);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] {
        m_channel->fail(
            QStringLiteral("no answer from the device within %1 ms").arg(m_options.link.timeoutMs));
    });
}

MatrixBridge::~MatrixBridge() = default;

QString MatrixBridge::deviceName() const
{
    return m_channel->name();
}

void MatrixBridge::start()
{
    m_channel->start();
}

void MatrixBridge::stop()
{
    m_channel->stop();
    dropQueue(QStringLiteral("the bridge is stopping"));
    m_quietTimer.stop();
    m_gapTimer.stop();
    m_pollTimer.stop();
    m_answerTimer.stop();
    setUp(false);
}

bool MatrixBridge::submit(const QByteArray &commandLine, const QString &origin)
{
    if (!m_up) {
        logEvent(QStringLiteral("dropped %1 from %2: the device link is down")
                     .arg(printable(commandLine), origin));
        return false;
    }
    m_queue.enqueue({commandLine, origin, StatusReply::Ignored, false});
    sendNext();
    return true;
}

void MatrixBridge::opened()
{
    // A fresh link starts a fresh stream: nothing of the old one is pending.
    m_framer = ReplyFramer();
    m_pollOutstanding = false;
    // The information first, so that the map is read with the counts it
    // announces.
    request(commands::refreshCommand(), StatusReply::DeviceInformation);
    request(commands::queryCommand(), StatusReply::RoutingMap);
}

void MatrixBridge::failed(const QString &reason, bool)
{
    m_quietTimer.stop();
    m_gapTimer.stop();
    m_pollTimer.stop();
    m_answerTimer.stop();
    m_awaited = StatusReply::Ignored;
    m_pollOutstanding = false;
    dropQueue(reason);
    // Each change once: a device that stays unreachable for an hour makes
    // one line, not one per attempt.
    if (reason != m_lastFailure) {
        const QString pauses = QStringLiteral("pauses %1 s, doubling up to %2 s")
                                   .arg(m_channel->retryPauseMs() / 1000.0)
                                   .arg(m_options.reconnectMaxMs / 1000.0);
        logEvent(m_up ? QStringLiteral("device %1 lost: %2; reconnecting (%3)")
                            .arg(deviceName(), reason, pauses)
                      : QStringLiteral("device %1 unreachable: %2; still trying (%3)")
                            .arg(deviceName(), reason, pauses));
        m_lastFailure = reason;
    }
    setUp(false);
}

void MatrixBridge::setUp(bool up)
{
    if (up == m_up)
        return;
    m_up = up;
    if (up) {
        logEvent(QStringLiteral("device %1 up%2: %3")
                     .arg(deviceName(), m_everUp ? QStringLiteral(" again") : QString(),
                          describe(m_information)));
        m_everUp = true;
        m_lastFailure.clear();
        if (m_options.pollMs > 0)
            m_pollTimer.start();
    }
    emit deviceLinkChanged(up);
}

void MatrixBridge::received(const QByteArray &bytes)
{
    const bool forward = !m_pollOutstanding;
    m_framer.append(bytes);
    if (forward)
        emit readingForClients(bytes);
    QList<ReplyFramer::Chunk> chunks = m_framer.take(false);
    if (m_framer.pending().size() > maxPendingBytes)
        chunks += m_framer.take(true);
    handleChunks(chunks);
    if (m_framer.pending().isEmpty())
        m_quietTimer.stop();
    else
        m_quietTimer.start();
}

void MatrixBridge::handleChunks(const QList<ReplyFramer::Chunk> &chunks)
{
    bool released = false;
    for (const ReplyFramer::Chunk &chunk : chunks) {
        const StatusReply &reply = chunk.reply;
        const bool held = m_pollOutstanding;
        bool pass = held; // what was held is passed on now, but for an unchanged poll
        if (reply.kind == m_awaited && reply.kind != StatusReply::Ignored) {
            m_awaited = StatusReply::Ignored;
            m_answerTimer.stop();
        }
        if (reply.kind == StatusReply::DeviceInformation) {
            m_information = reply;
            setUp(true);
            emit informationReceived(reply);
        } else if (reply.kind == StatusReply::RoutingMap) {
            const bool changed = reply.sources != m_routing;
            m_routing = reply.sources;
            if (held) {
                m_pollOutstanding = false;
                released = true;
                pass = changed;
                if (changed)
                    logEvent(QStringLiteral("device %1: the routing changed at the device")
                                 .arg(deviceName()));
            }
            emit routingReceived(reply.sources);
        }
        logVerbose(
            QStringLiteral("from device: %1%2")
                .arg(printable(chunk.bytes),
                     held && !pass ? QStringLiteral(" (poll, unchanged: kept back)") : QString()));
        if (pass)
            emit readingForClients(chunk.bytes);
    }
    // Bytes behind the poll's answer came while it was awaited: they go now.
    if (released && !m_framer.pending().isEmpty())
        emit readingForClients(m_framer.pending());
}

void MatrixBridge::request(const QByteArray &bytes, StatusReply::Kind answer, bool poll)
{
    m_queue.enqueue({bytes, QString(), answer, poll});
    sendNext();
}

void MatrixBridge::sendNext()
{
    while (!m_gapTimer.isActive() && !m_queue.isEmpty() && m_channel->isOpen()) {
        const Queued next = m_queue.dequeue();
        if (next.poll) {
            // Whatever is pending was passed on already; decode it before the
            // answer to the poll is held back.
            handleChunks(m_framer.take(true));
            m_pollOutstanding = true;
        }
        m_channel->write(next.bytes);
        logVerbose(QStringLiteral("to device: %1 (%2)")
                       .arg(printable(next.bytes),
                            next.origin.isEmpty() ? QStringLiteral("bridge") : next.origin));
        if (!next.origin.isEmpty() && m_options.pollMs > 0 && m_up)
            m_pollTimer.start(); // a client's command counts as activity
        if (next.answer != StatusReply::Ignored) {
            m_awaited = next.answer;
            m_answerTimer.start();
        }
        const int gap = std::max(m_options.commandGapMs, wireTimeMs(next.bytes.size()));
        if (gap > 0)
            m_gapTimer.start(gap);
    }
}

void MatrixBridge::poll()
{
    if (!m_up)
        return;
    request(commands::queryCommand(), StatusReply::RoutingMap, true);
    m_pollTimer.start();
}

void MatrixBridge::dropQueue(const QString &reason)
{
    for (const Queued &queued : qAsConst(m_queue)) {
        if (!queued.origin.isEmpty())
            logEvent(QStringLiteral("dropped %1 from %2: %3")
                         .arg(printable(queued.bytes), queued.origin, reason));
    }
    m_queue.clear();
}

int MatrixBridge::wireTimeMs(int bytes) const
{
    if (!m_channel->isSerial())
        return 0;
    return int(std::ceil(bytes * bitsPerCharacter * 1000.0 / m_channel->baud()));
}

int MatrixBridge::quietGapMs() const
{
    return devicelink::quietGapMs(m_options.link);
}
