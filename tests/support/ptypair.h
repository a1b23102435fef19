#ifndef TESTS_SUPPORT_PTYPAIR_H
#define TESTS_SUPPORT_PTYPAIR_H

#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal standing in for a serial line: the window opens the
// slave by its path, the test plays the device on the master.
class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        m_path = QString::fromLocal8Bit(name);
        termios raw {}; // no byte translated or swallowed on the way
        tcgetattr(m_slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_path; }
    bool write(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // As much as the pty takes now, without waiting: the count written, or -1.
    qint64 writeSome(const QByteArray &bytes)
    {
        return m_master < 0 ? -1 : ::write(m_master, bytes.constData(), size_t(bytes.size()));
    }
    bool isOpen() const { return m_master >= 0; }
    // Device side: what the window wrote since the last take().
    bool waitForBytes(int byteCount, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return readSome() >= byteCount; }, timeoutMs);
    }
    QByteArray take() { return readSome(), std::exchange(m_received, {}); }
    void closeMaster() // the line goes away
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int readSome()
    {
        char buffer[512];
        for (ssize_t n; m_master >= 0 && (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
            m_received.append(buffer, int(n));
        return m_received.size();
    }
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QByteArray m_received;
};

#endif // TESTS_SUPPORT_PTYPAIR_H
