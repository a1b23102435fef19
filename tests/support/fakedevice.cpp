#include "support/fakedevice.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTest>

FakeDevice::FakeDevice(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeDevice::acceptClient);
}

bool FakeDevice::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void FakeDevice::acceptClient()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        ++m_connections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            m_received += socket->readAll();
            emit bytesReceived();
        });
        emit clientConnected();
    }
}

bool FakeDevice::waitForReceived(int byteCount, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_received.size() < byteCount && !deadline.hasExpired())
        QTest::qWait(5);
    return m_received.size() >= byteCount;
}

bool FakeDevice::waitForClient(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_client && !deadline.hasExpired())
        QTest::qWait(5);
    return m_client;
}

void FakeDevice::send(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void FakeDevice::closeClient()
{
    if (!m_client)
        return;
    m_client->disconnect(this);
    m_client->disconnectFromHost();
    m_client->deleteLater();
    m_client = nullptr;
}
