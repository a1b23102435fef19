#ifndef SIM_TCPLISTENER_H
#define SIM_TCPLISTENER_H

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

class QSocketNotifier;
class QTcpSocket;

// Listens on a TCP address and accepts clients.
//
// QTcpServer listens, but its own accept loop is not used: its listening
// socket keeps the first error it ever saw, so once a "try again" has been
// seen every later failure reads as one too, and out of file descriptors it
// retries at once, forever, at full speed. Here a lasting failure stops
// accepting for a while, 50 ms at first and doubling up to a second; the
// client waits in the kernel's queue meanwhile.
class TcpListener : public QObject
{
    Q_OBJECT
public:
    static constexpr int maxAcceptsPerTurn = 64;
    static constexpr int firstBackoffMs = 50;
    static constexpr int lastBackoffMs = 1000;

    explicit TcpListener(QObject *parent = nullptr);
    ~TcpListener() override;

    bool listen(const QHostAddress &address, quint16 port); // false: see errorString()
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    QString errorString() const { return m_server.errorString(); }
    void close();

signals:
    // A connected client; the receiver takes the socket over.
    void accepted(QTcpSocket *socket);
    // "cannot accept a connection (...)" when accepting stops for a while,
    // "accepting connections again" when it works again.
    void notice(const QString &text);

private:
    void acceptPending();
    void backOff(int error);

    QTcpServer m_server;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_retry;
    int m_backoffMs = 0; // 0: accepting normally
};

#endif // SIM_TCPLISTENER_H
