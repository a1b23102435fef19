#ifndef TESTS_SUPPORT_FAKEDEVICE_H
#define TESTS_SUPPORT_FAKEDEVICE_H

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Stands in for the matrix device on 127.0.0.1: accepts one client at a
// time, keeps every byte it sends and sends what the test asks for.
class FakeDevice : public QObject
{
public:
    FakeDevice()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                delete m_client;
                m_client = socket;
                ++m_connections;
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket] { m_received += socket->readAll(); });
            }
        });
    }
    bool listen(quint16 port = 0) { return m_server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return m_server.serverPort(); }
    void stopListening() { m_server.close(); } // later attempts are refused
    QByteArray received() const { return m_received; }
    int connectionCount() const { return m_connections; }
    bool waitForReceived(int byteCount, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return m_received.size() >= byteCount; }, timeoutMs);
    }
    bool waitForClient()
    {
        return QTest::qWaitFor([&] { return m_client != nullptr; });
    }
    void send(const QByteArray &bytes)
    {
        if (m_client)
            m_client->write(bytes);
    }
    void closeClient() // the device hangs up
    {
        if (m_client)
            m_client->disconnectFromHost();
        m_client = nullptr;
    }

private:
    QByteArray m_received;
    int m_connections = 0;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};

#endif // TESTS_SUPPORT_FAKEDEVICE_H
