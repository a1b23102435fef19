#ifndef STALLMETER_H
#define STALLMETER_H

#include <QElapsedTimer>
#include <QTimer>

#include <time.h>

// The longest gap a test allows the window. The sanitizer build's
// instrumented code runs two to three times slower, so it is allowed twice
// as much; the freezes this is meant to catch last seconds in either build.
#if defined(__SANITIZE_ADDRESS__)
constexpr double allowedStallMs = 200;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double allowedStallMs = 200;
#else
constexpr double allowedStallMs = 100;
#endif
#else
constexpr double allowedStallMs = 100;
#endif

// Measures the event loop's longest gap: a precise 5 ms timer notes the time
// between its ticks, also while a message box runs its own loop. Two clocks:
// the GUI thread's CPU time, which is what the window's own work costs and
// does not grow when other processes load the machine, and the wall clock,
// which also sees a blocking wait.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
        restart();
        m_timer.start(5);
    }
    void restart()
    {
        tick();
        m_longestCpuMs = m_longestWallMs = 0;
    }
    // Ends the gap here, as a turn of the loop would: for a test that does
    // several things in one event and wants each measured on its own.
    void mark() { tick(); }
    double longestCpuMs() const { return m_longestCpuMs; }
    qint64 longestWallMs() const { return m_longestWallMs; }

private:
    static double threadCpuMs()
    {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }
    void tick()
    {
        const double cpu = threadCpuMs();
        if (m_wall.isValid()) {
            m_longestCpuMs = qMax(m_longestCpuMs, cpu - m_cpuAtTick);
            m_longestWallMs = qMax(m_longestWallMs, m_wall.elapsed());
        }
        m_cpuAtTick = cpu;
        m_wall.start();
    }
    QTimer m_timer;
    QElapsedTimer m_wall;
    double m_cpuAtTick = 0;
    double m_longestCpuMs = 0;
    qint64 m_longestWallMs = 0;
};

#endif // STALLMETER_H
