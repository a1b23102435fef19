#include "support/ptypair.h"

#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[PATH_MAX] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    // Raw on both ends so that no byte is translated or swallowed by the
    // line discipline (0x0D, 0x0A, 0x00 and 0xFF pass unchanged).
    termios tio {};
    if (tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return false;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray PtyPair::readAvailable()
{
    QByteArray chunk;
    if (m_master < 0)
        return chunk;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        chunk.append(buffer, int(n));
    }
    m_received += chunk;
    return chunk;
}

bool PtyPair::waitForBytes(int byteCount, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    readAvailable();
    while (m_received.size() < byteCount && !deadline.hasExpired()) {
        QTest::qWait(5);
        readAvailable();
    }
    return m_received.size() >= byteCount;
}

QByteArray PtyPair::take()
{
    readAvailable();
    QByteArray all = m_received;
    m_received.clear();
    return all;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
