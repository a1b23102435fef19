#include "devicelink/signalpipe.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace devicelink {

namespace {

std::atomic<int> writeEnd {-1};

void onSignal(int signalNumber)
{
    const int fd = writeEnd.load();
    if (fd < 0)
        return;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
}

} // namespace

SignalPipe::SignalPipe(QObject *parent)
    : QObject(parent)
{
    int fds[2] = {-1, -1};
    if (writeEnd.load() >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    // A burst of signals must never block the handler.
    ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::readPipe);
    writeEnd.store(fds[1]);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

SignalPipe::~SignalPipe()
{
    if (!m_notifier)
        return;
    ::close(writeEnd.exchange(-1));
    // The notifier goes before its descriptor is closed.
    const int readEnd = int(m_notifier->socket());
    delete m_notifier;
    ::close(readEnd);
}

void SignalPipe::readPipe()
{
    char byte = 0;
    if (::read(int(m_notifier->socket()), &byte, 1) == 1)
        emit received(int(quint8(byte)));
}

} // namespace devicelink
