#include "sim/ptyendpoint.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

PtyEndpoint *PtyEndpoint::open(const QString &linkPath, QString *error, QObject *parent)
{
    termios raw {};
    cfmakeraw(&raw);
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        *error = QStringLiteral("openpty failed: %1").arg(errnoText());
        return nullptr;
    }
    const auto fail = [&](const QString &why) {
        *error = why;
        ::close(master);
        ::close(slave);
        return nullptr;
    };
    char path[PATH_MAX] = {};
    if (::ttyname_r(slave, path, sizeof path) != 0)
        return fail(QStringLiteral("cannot name the pty slave"));
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    const QString slavePath = QString::fromLocal8Bit(path);

    if (!linkPath.isEmpty()) {
        const QFileInfo info(linkPath);
        if (info.isSymLink())
            QFile::remove(linkPath);
        else if (info.exists())
            return fail(
                QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath));
        if (!QFile::link(slavePath, linkPath))
            return fail(QStringLiteral("cannot make the symlink %1").arg(linkPath));
    }
    return new PtyEndpoint(master, slave, slavePath, linkPath, parent);
}

PtyEndpoint::PtyEndpoint(int master, int slave, const QString &slavePath, const QString &linkPath,
                         QObject *parent)
    : LinkEndpoint(parent)
    , m_master(master)
    , m_slave(slave)
    , m_slavePath(slavePath)
    , m_linkPath(linkPath)
{
    m_clock.start();
    // Told once per arrival: the notifier rests until a read finds the pty
    // empty, so input left for a later turn does not wake us in a loop.
    m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] {
        m_readNotifier->setEnabled(false);
        emit readable();
    });
    m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyEndpoint::writeBacklog);
}

PtyEndpoint::~PtyEndpoint()
{
    release();
}

QByteArray PtyEndpoint::read(int maxBytes)
{
    if (m_master < 0)
        return {};
    QByteArray bytes(maxBytes, Qt::Uninitialized);
    ssize_t n;
    do
        n = ::read(m_master, bytes.data(), static_cast<size_t>(maxBytes));
    while (n < 0 && errno == EINTR);
    if (n == 0 || (n < 0 && errno != EAGAIN))
        return {}; // end of file or a hard error: stay deaf rather than be woken in a loop
    bytes.resize(n > 0 ? static_cast<int>(n) : 0);
    if (bytes.size() < maxBytes)
        m_readNotifier->setEnabled(true); // drained: wake us when more comes
    return bytes;
}

bool PtyEndpoint::hasUnread() const
{
    int pending = 0;
    return m_master >= 0 && ::ioctl(m_master, FIONREAD, &pending) == 0 && pending > 0;
}

void PtyEndpoint::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    m_lastWrite = m_clock.elapsed();
    if (!m_backlog.isEmpty()) {
        m_backlog += bytes;
        return;
    }
    const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        return;
    const int written = n < 0 ? 0 : static_cast<int>(n);
    if (written < bytes.size()) {
        m_backlog = bytes.mid(written);
        m_writeNotifier->setEnabled(true);
    }
}

void PtyEndpoint::writeBacklog()
{
    const QByteArray pending = m_backlog;
    m_backlog.clear();
    m_writeNotifier->setEnabled(false);
    write(pending);
    if (m_backlog.isEmpty())
        emit drained();
}

// Whether the slave side has read all we wrote to the master. The kernel
// moves written bytes to the slave's input queue a moment later, so an
// empty queue right after a write proves nothing: it must stay empty for a
// while after the last write.
bool PtyEndpoint::consoleHasReadEverything() const
{
    int pending = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &pending) != 0)
        return true;
    return pending == 0 && m_backlog.isEmpty() && m_clock.elapsed() - m_lastWrite >= 50;
}

void PtyEndpoint::close()
{
    if (m_master < 0)
        return;
    if (m_lingerDeadline < 0)
        m_lingerDeadline = m_clock.elapsed() + 2000;
    if (!consoleHasReadEverything() && m_clock.elapsed() < m_lingerDeadline) {
        QTimer::singleShot(10, this, &PtyEndpoint::close);
        return;
    }
    release();
    emit closed();
}

void PtyEndpoint::release()
{
    // The notifiers may be the very senders whose signal is being handled
    // (a close-after fault on the pty), so they are only disabled here and
    // deleted later.
    for (QSocketNotifier *n : {m_readNotifier, m_writeNotifier}) {
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    if (!m_linkPath.isEmpty() && QFileInfo(m_linkPath).isSymLink())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}
