#include "bridge/clientserver.h"

#include "bridge/eventlog.h"
#include "bridge/matrixbridge.h"
#include "codec/codec.h"
#include "commands/builders.h"
#include "devicelink/hostport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using eventlog::logEvent;
using eventlog::logVerbose;

namespace {

// The console's free command may lack its "!": what a client sent without
// one is sent as it is after this pause.
constexpr int unterminatedCommandMs = 1000;
// No command is this long; bytes piling up without a "!" are not one.
constexpr int maxCommandBytes = 4096;
// A client with this much unsent is not reading: it is cut off.
constexpr qint64 maxUnsentBytes = 1024 * 1024;
// The kernel's share of a client's unsent data is kept small, so that the
// limit above counts nearly all of it.
constexpr int clientSendBufferBytes = 64 * 1024;

QString addressOf(const QTcpSocket *socket)
{
    return devicelink::joinHostPort(socket->peerAddress().toString(), socket->peerPort());
}

} // namespace

// One connected client: its socket and the command it is in the middle of.
class BridgeClient : public QObject
{
public:
    BridgeClient(QTcpSocket *socket, bool readOnly, QObject *parent)
        : QObject(parent)
        , socket(socket)
        , readOnly(readOnly)
        , name(addressOf(socket))
    {
        socket->setParent(this);
        partialTimer.setSingleShot(true);
        partialTimer.setInterval(unterminatedCommandMs);
    }

    QTcpSocket *socket;
    const bool readOnly;
    const QString name;
    QByteArray partial; // bytes behind the last "!"
    QTimer partialTimer;
};

ClientServer::ClientServer(MatrixBridge *bridge, int maxClients, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_maxClients(maxClients)
{
    connect(bridge, &MatrixBridge::readingForClients, this, &ClientServer::broadcast);
}

ClientServer::~ClientServer()
{
    closeAll();
}

bool ClientServer::listen(const ListenAddress &where, bool readOnly)
{
    QTcpServer *&server = readOnly ? m_readOnly : m_readWrite;
    delete server;
    server = new QTcpServer(this);
    if (!server->listen(where.address, where.port)) {
        m_error = QStringLiteral("cannot listen on %1: %2")
                      .arg(devicelink::joinHostPort(where.address.toString(), where.port),
                           server->errorString());
        delete server;
        server = nullptr;
        return false;
    }
    QTcpServer *s = server;
    connect(s, &QTcpServer::newConnection, this, [this, s, readOnly] { accept(s, readOnly); });
    return true;
}

quint16 ClientServer::port(bool readOnly) const
{
    const QTcpServer *server = readOnly ? m_readOnly : m_readWrite;
    return server ? server->serverPort() : 0;
}

QString ClientServer::boundAddress(bool readOnly) const
{
    const QTcpServer *server = readOnly ? m_readOnly : m_readWrite;
    if (!server)
        return QString();
    return devicelink::joinHostPort(server->serverAddress().toString(), server->serverPort());
}

void ClientServer::closeAll()
{
    delete m_readWrite;
    m_readWrite = nullptr;
    delete m_readOnly;
    m_readOnly = nullptr;
    const QList<BridgeClient *> clients = m_clients;
    m_clients.clear();
    for (BridgeClient *client : clients) {
        disconnect(client->socket, nullptr, this, nullptr);
        client->socket->flush(); // what the device said last still reaches them
        client->socket->disconnectFromHost();
        delete client;
    }
}

void ClientServer::accept(QTcpServer *server, bool readOnly)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (m_clients.size() >= m_maxClients) {
            logEvent(QStringLiteral("client %1 refused: %2 clients already")
                         .arg(addressOf(socket))
                         .arg(m_clients.size()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *client = new BridgeClient(socket, readOnly, this);
        m_clients << client;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, clientSendBufferBytes);
        logEvent(QStringLiteral("client %1 connected%2 (%3 clients)")
                     .arg(client->name, readOnly ? QStringLiteral(" read-only") : QString())
                     .arg(m_clients.size()));

        auto submit = [this, client](const QByteArray &command) {
            if (client->readOnly && command != commands::refreshCommand()
                && command != commands::queryCommand()) {
                logEvent(QStringLiteral("dropped %1 from %2: the client is read-only")
                             .arg(printable(command), client->name));
                return;
            }
            m_bridge->submit(command, client->name);
        };
        connect(socket, &QTcpSocket::readyRead, client, [client, submit] {
            QByteArray &partial = client->partial;
            partial += client->socket->readAll();
            for (int end; (end = partial.indexOf('!')) >= 0;) {
                const QByteArray command = partial.left(end + 1);
                partial.remove(0, end + 1);
                submit(command);
            }
            if (partial.size() > maxCommandBytes) {
                logEvent(QStringLiteral("dropped %1 bytes from %2: no \"!\" in them")
                             .arg(partial.size())
                             .arg(client->name));
                partial.clear();
            }
            if (partial.isEmpty())
                client->partialTimer.stop();
            else if (!client->partialTimer.isActive())
                client->partialTimer.start();
        });
        connect(&client->partialTimer, &QTimer::timeout, client,
                [client, submit] { submit(std::exchange(client->partial, QByteArray())); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, client] { remove(client, QStringLiteral("left")); });
    }
}

void ClientServer::broadcast(const QByteArray &bytes)
{
    const QList<BridgeClient *> clients = m_clients;
    for (BridgeClient *client : clients) {
        client->socket->write(bytes);
        const qint64 unsent = client->socket->bytesToWrite();
        if (unsent > maxUnsentBytes)
            remove(client, QStringLiteral("cut off: not reading (%1 bytes unsent)").arg(unsent));
    }
}

void ClientServer::remove(BridgeClient *client, const QString &why)
{
    if (!m_clients.removeOne(client))
        return;
    logEvent(
        QStringLiteral("client %1 %2 (%3 clients)").arg(client->name, why).arg(m_clients.size()));
    disconnect(client->socket, nullptr, this, nullptr);
    client->partialTimer.stop();
    client->socket->abort();
    client->deleteLater();
}
