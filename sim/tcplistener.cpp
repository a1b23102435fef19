#include "sim/tcplistener.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

TcpListener::TcpListener(QObject *parent)
    : QObject(parent)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

TcpListener::~TcpListener()
{
    close();
}

bool TcpListener::listen(const QHostAddress &address, quint16 port)
{
    if (m_server.isListening())
        return true;
    if (!m_server.listen(address, port))
        return false;
    m_server.pauseAccepting(); // for good: we accept ourselves
    m_notifier = new QSocketNotifier(m_server.socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TcpListener::acceptPending);
    // A call through the notifier now, while descriptors are plentiful:
    // the undefined-behaviour sanitizer checks the first one by writing to
    // a pipe, and would take its failure in backOff() for a broken object.
    m_notifier->setEnabled(true);
    return true;
}

void TcpListener::close()
{
    m_retry.stop();
    delete m_notifier; // before its descriptor goes
    m_notifier = nullptr;
    m_server.close();
}

void TcpListener::acceptPending()
{
    const int listening = static_cast<int>(m_server.socketDescriptor());
    for (int i = 0; i < maxAcceptsPerTurn && m_notifier; ++i) {
        const int fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue; // that client gave up; there may be others
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                backOff(errno);
            return;
        }
        if (m_backoffMs > 0) {
            m_backoffMs = 0;
            emit notice(QStringLiteral("accepting connections again"));
        }
        auto *socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        emit accepted(socket);
    }
}

// The waiting connection stays queued, so the descriptor reads as ready at
// once: stop watching it for a while.
void TcpListener::backOff(int error)
{
    if (m_backoffMs == 0)
        emit notice(QStringLiteral("cannot accept a connection (%1); trying again now and then")
                        .arg(QString::fromLocal8Bit(std::strerror(error))));
    m_backoffMs = m_backoffMs == 0 ? firstBackoffMs : std::min(2 * m_backoffMs, lastBackoffMs);
    m_notifier->setEnabled(false);
    m_retry.start(m_backoffMs);
}
