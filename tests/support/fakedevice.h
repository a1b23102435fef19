#ifndef FAKEDEVICE_H
#define FAKEDEVICE_H

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A stand-in for the matrix device on 127.0.0.1: it accepts one client at a
// time, keeps every byte the client sends and sends whatever the test asks.
class FakeDevice : public QObject
{
    Q_OBJECT

public:
    explicit FakeDevice(QObject *parent = nullptr);

    bool listen(); // 127.0.0.1, a free port
    quint16 port() const { return m_server.serverPort(); }

    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // Waits until at least byteCount bytes have been received in all.
    bool waitForReceived(int byteCount, int timeoutMs = 5000);

    bool hasClient() const { return m_client; }
    bool waitForClient(int timeoutMs = 5000);
    int connectionCount() const { return m_connections; }

    void send(const QByteArray &bytes);
    // Closes the connection from the device's side.
    void closeClient();
    // Stops accepting; a later connection attempt to port() is refused.
    void stopListening() { m_server.close(); }

signals:
    void clientConnected();
    void bytesReceived();

private:
    void acceptClient();

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    int m_connections = 0;
};

#endif // FAKEDEVICE_H
