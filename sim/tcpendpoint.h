#ifndef SIM_TCPENDPOINT_H
#define SIM_TCPENDPOINT_H

#include "sim/linkendpoint.h"

class QTcpSocket;

// A TCP client of the simulator. Reading is bounded: a client that floods
// waits in its own send buffer instead of piling up in ours.
class TcpEndpoint : public LinkEndpoint
{
    Q_OBJECT
public:
    static constexpr int receiveBufferBytes = 64 * 1024;

    TcpEndpoint(QTcpSocket *socket, QObject *parent); // takes the socket over

    QByteArray read(int maxBytes) override;
    bool hasUnread() const override;
    void write(const QByteArray &bytes) override;
    qint64 unwritten() const override;
    void close() override;
    void abort() override;

private:
    void hungUp();

    QTcpSocket *m_socket;
    bool m_hungUp = false;
};

#endif // SIM_TCPENDPOINT_H
