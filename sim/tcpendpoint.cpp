#include "sim/tcpendpoint.h"

#include <QTcpSocket>

TcpEndpoint::TcpEndpoint(QTcpSocket *socket, QObject *parent)
    : LinkEndpoint(parent)
    , m_socket(socket)
{
    socket->setParent(this);
    // Both in Qt's buffer and in the kernel's: left unbounded, a flood
    // would be taken in far faster than it is digested, and a reply would
    // queue behind all of it.
    socket->setReadBufferSize(receiveBufferBytes);
    connect(socket, &QTcpSocket::readyRead, this, &LinkEndpoint::readable);
    connect(socket, &QTcpSocket::disconnected, this, &TcpEndpoint::hungUp);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_socket->bytesToWrite() == 0)
            emit drained();
    });
}

QByteArray TcpEndpoint::read(int maxBytes)
{
    return m_socket->read(maxBytes);
}

bool TcpEndpoint::hasUnread() const
{
    return m_socket->bytesAvailable() > 0;
}

void TcpEndpoint::write(const QByteArray &bytes)
{
    m_socket->write(bytes);
    m_socket->flush();
}

qint64 TcpEndpoint::unwritten() const
{
    return m_socket->bytesToWrite();
}

void TcpEndpoint::close()
{
    m_socket->disconnectFromHost(); // closed() follows on disconnected()
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        hungUp();
}

void TcpEndpoint::abort()
{
    const QSignalBlocker quiet(m_socket);
    m_socket->abort();
}

void TcpEndpoint::hungUp()
{
    if (m_hungUp)
        return;
    m_hungUp = true;
    emit closed();
}
