// A Qt "generic" plugin that reports when a program's first window has been
// painted, without the program's help: QGuiApplication loads it when
// QT_QPA_GENERIC_PLUGINS names it and QT_PLUGIN_PATH leads to it. It watches
// every event through an application-wide event filter; the first expose or
// update request of a window during which a widget was painted ends with the
// window's backing store flushed, and that moment is reported.
//
// Report: one line "painted <CLOCK_MONOTONIC ns> <VmRSS kB>" written to the
// file descriptor named by MATRIX_STARTUP_PROBE_FD, then the process ends at
// once (_exit), so that nothing the program does on the way out, such as
// saving its settings, changes the next run. When MATRIX_STARTUP_PROBE_SMAPS
// names a file, the process's memory map (/proc/self/smaps) at that moment
// is copied there first (bench/memory.sh reads it).

#include <QCoreApplication>
#include <QEvent>
#include <QGenericPlugin>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

void copyMemoryMap()
{
    const char *target = std::getenv("MATRIX_STARTUP_PROBE_SMAPS");
    if (!target || !*target)
        return;
    FILE *in = std::fopen("/proc/self/smaps", "r");
    FILE *out = std::fopen(target, "w");
    char buffer[8192];
    for (size_t n; in && out && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        std::fwrite(buffer, 1, n, out);
    if (in)
        std::fclose(in);
    if (out)
        std::fclose(out);
}

long residentKiB()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kib = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(int reportFd)
        : m_fd(reportFd)
    { }

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Paint:
            m_painted = true;
            return false;
        case QEvent::Expose:
        case QEvent::UpdateRequest:
            if (!receiver->isWindowType())
                return false;
            // Deliver it now, so that the clock is read after the paint
            // events it causes and the flush of the backing store.
            m_painted = false;
            receiver->event(event);
            if (m_painted)
                report();
            return true;
        default:
            return false;
        }
    }

private:
    [[noreturn]] void report()
    {
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        char line[96];
        const int n = std::snprintf(line, sizeof line, "painted %lld %ld\n",
                                    static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                                    residentKiB());
        copyMemoryMap();
        if (n > 0 && ::write(m_fd, line, size_t(n)) != n)
            ::_exit(3);
        ::_exit(0);
    }

    int m_fd;
    bool m_painted = false;
};

} // namespace

class StartupProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "startupprobe.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        const QByteArray fd = qgetenv("MATRIX_STARTUP_PROBE_FD");
        bool ok = false;
        const int reportFd = fd.toInt(&ok);
        if (!ok || !QCoreApplication::instance())
            return nullptr;
        auto *probe = new FirstPaintProbe(reportFd);
        QCoreApplication::instance()->installEventFilter(probe);
        return probe;
    }
};

#include "startupprobe.moc"
