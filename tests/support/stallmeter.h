#ifndef TESTS_SUPPORT_STALLMETER_H
#define TESTS_SUPPORT_STALLMETER_H

#include <QElapsedTimer>
#include <QTimer>

#include <time.h>

// The longest gap a test allows the window; the sanitizer build runs 2-3 times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr double allowedStallMs = 200;
#elif defined(__has_feature)
constexpr double allowedStallMs = __has_feature(address_sanitizer) ? 200 : 100;
#else
constexpr double allowedStallMs = 100;
#endif

// The event loop's longest gap, from a precise 5 ms timer that also fires inside a message box's
// loop: in the GUI thread's CPU time (the window's own work, whatever else loads the machine) and
// in wall time (which also sees a blocking wait). mark() ends a gap as a turn of the loop would.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &StallMeter::mark);
        m_timer.start(5);
        m_wall.start();
        mark(); // the first gap starts here
    }
    void mark()
    {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        const double cpuMs = double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
        m_longestCpuMs = qMax(m_longestCpuMs, cpuMs - std::exchange(m_cpuMsAtMark, cpuMs));
        m_longestWallMs = qMax(m_longestWallMs, m_wall.restart());
    }
    double longestCpuMs() const { return m_longestCpuMs; }
    qint64 longestWallMs() const { return m_longestWallMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_wall;
    double m_cpuMsAtMark = qInf(), m_longestCpuMs = 0;
    qint64 m_longestWallMs = 0;
};

#endif // TESTS_SUPPORT_STALLMETER_H
