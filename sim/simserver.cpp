#include "sim/simserver.h"

#include "sim/ptyendpoint.h"
#include "sim/simlink.h"
#include "sim/tcpendpoint.h"
#include "sim/tcplistener.h"

#include <QMetaMethod>
#include <QTcpSocket>

namespace {

ReplyPacer::Kind kindOf(const MatrixDevice::Outcome &o)
{
    return o.replyKind == MatrixDevice::Outcome::Information ? ReplyPacer::Information
                                                             : ReplyPacer::RoutingMap;
}

} // namespace

SimServer::SimServer(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_random(options.garbageSeed)
    , m_outcomeLog([this](const QString &line) { log(line); })
{ }

SimServer::~SimServer()
{
    stop();
}

bool SimServer::listenTcp()
{
    if (!m_listener) {
        m_listener = new TcpListener(this);
        connect(m_listener, &TcpListener::accepted, this, &SimServer::addTcpClient);
        connect(m_listener, &TcpListener::notice, this, &SimServer::log);
    }
    if (m_listener->listen(m_options.address, m_options.port))
        return true;
    m_error = QStringLiteral("cannot listen on %1:%2: %3")
                  .arg(m_options.address.toString())
                  .arg(m_options.port)
                  .arg(m_listener->errorString());
    return false;
}

bool SimServer::isListening() const
{
    return m_listener && m_listener->isListening();
}

quint16 SimServer::tcpPort() const
{
    return isListening() ? m_listener->port() : 0;
}

QHostAddress SimServer::tcpAddress() const
{
    return isListening() ? m_listener->address() : QHostAddress();
}

void SimServer::addTcpClient(QTcpSocket *socket)
{
    const QString name = QStringLiteral("tcp#%1 %2:%3")
                             .arg(m_nextClientNumber++)
                             .arg(socket->peerAddress().toString())
                             .arg(socket->peerPort());
    addLink(new SimLink(name, new TcpEndpoint(socket, nullptr), false, m_device, m_options, this));
}

bool SimServer::openPty(const QString &linkPath)
{
    if (m_ptyLink)
        return true;
    PtyEndpoint *pty = PtyEndpoint::open(linkPath, &m_error, nullptr);
    if (!pty)
        return false;
    m_pty = pty;
    m_linkPath = pty->linkPath();
    m_ptyLink = new SimLink(QStringLiteral("pty %1").arg(pty->slavePath()), pty, true, m_device,
                            m_options, this);
    addLink(m_ptyLink);
    return true;
}

QString SimServer::ptySlavePath() const
{
    return m_pty ? m_pty->slavePath() : QString();
}

void SimServer::closePty()
{
    if (m_ptyLink)
        m_ptyLink->abort();
}

void SimServer::stop()
{
    if (m_listener)
        m_listener->close();
    const QVector<SimLink *> links = m_links;
    for (SimLink *link : links)
        link->abort();
}

void SimServer::addLink(SimLink *link)
{
    connect(link, &SimLink::outcome, this, &SimServer::handleOutcome);
    connect(link, &SimLink::quiet, this, [this](SimLink *l) { m_outcomeLog.settle(l, l->name()); });
    connect(link, &SimLink::dropped, this, [this](SimLink *l, int count) {
        log(QStringLiteral("%1: %2 replies dropped: commands came faster than replies could leave")
                .arg(l->name())
                .arg(count));
    });
    connect(link, &SimLink::finished, this, &SimServer::linkFinished);
    m_links.append(link);
    emit linkOpened(link->name());
}

void SimServer::linkFinished(SimLink *link)
{
    m_links.removeAll(link);
    if (link == m_ptyLink) {
        m_ptyLink = nullptr;
        m_pty = nullptr;
        m_linkPath.clear();
    }
    m_outcomeLog.settle(link, link->name());
    m_outcomeLog.forget(link);
    link->deleteLater();
}

bool SimServer::logging() const
{
    static const QMetaMethod logLineSignal = QMetaMethod::fromSignal(&SimServer::logLine);
    return m_log || isSignalConnected(logLineSignal);
}

void SimServer::log(const QString &line)
{
    emit logLine(line);
    if (m_log)
        m_log(line);
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

void SimServer::handleOutcome(SimLink *link, const MatrixDevice::Outcome &o)
{
    emit commandHandled(link->name(), o.bytes, o.understood, o.description);
    if (logging())
        m_outcomeLog.add(link, link->name(), o);
    if (o.kind != MatrixDevice::Outcome::Command)
        return;

    const int count = link->countCommand();
    const bool hasReply = !o.reply.isEmpty();
    if (m_options.garbageEvery > 0 && count % m_options.garbageEvery == 0) {
        const QByteArray burst = garbageBurst();
        switch (m_options.garbageMode) {
        case GarbageMode::Before:
            link->send(burst, ReplyPacer::Burst);
            if (hasReply)
                link->send(o.reply, kindOf(o));
            break;
        case GarbageMode::Prefix:
            link->send(burst + o.reply, hasReply ? kindOf(o) : ReplyPacer::Burst);
            break;
        case GarbageMode::Instead:
            link->send(burst, ReplyPacer::Burst);
            break;
        }
    } else if (hasReply) {
        link->send(o.reply, kindOf(o));
    }
    if (m_options.closeAfterCommands > 0 && count >= m_options.closeAfterCommands)
        link->closeWhenDrained();
    if (hasReply && changesState(o))
        announce(link, o);
}

bool SimServer::changesState(const MatrixDevice::Outcome &o)
{
    // The two questions change nothing; every other command that is
    // answered (a switch, a recalled plan, a new port count) did.
    return o.understood && o.bytes != "*?!" && o.bytes != "*!";
}

void SimServer::announce(SimLink *from, const MatrixDevice::Outcome &o)
{
    // A switch made on one connection reaches the others as the device's
    // new state, as another operator's or the front panel's change reaches
    // a control system: the same reply, unasked.
    for (SimLink *link : qAsConst(m_links)) {
        if (link != from && !link->isClosing())
            link->send(o.reply, kindOf(o));
    }
}
