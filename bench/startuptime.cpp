// Starts programs offscreen, one after the other and round after round, and
// reports for each the median time from process start to its first painted
// window and its resident memory at that moment, as ratios against a
// baseline measured in the same run. The moment is reported by the probe
// plugin (probe/startupprobe.cpp), which the programs load through Qt's
// plugin environment; the programs themselves are not changed.
//
// With --realtime the bench and the programs it starts run under the
// real-time FIFO policy, ahead of whatever else the machine runs, so that
// the neighbours' load does not land on one program more than another
// (the kernel still keeps 5% of each second for everyone else).
//
// usage: startuptime --probe DIR [--runs N] [--warmup N] [--realtime]
//                    [--baseline NAME] [--subject NAME] NAME=PROGRAM...

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Program
{
    std::string name;
    std::string path;
    std::vector<double> ms;
    std::vector<double> cpuMs;
    std::vector<double> mib;
};

struct Sample
{
    bool ok = false;
    double ms = 0;
    double cpuMs = 0; // user and system time of all its threads
    double mib = 0;
    std::string failure;
};

long long monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The environment of every child: ours, less what would steer Qt elsewhere,
// plus the probe's.
std::vector<std::string> childEnvironment(const std::string &probeDir, const std::string &scratch,
                                          int fd)
{
    static const char *dropped[]
        = {"QT_QPA_PLATFORM=",         "QT_PLUGIN_PATH=",   "QT_QPA_GENERIC_PLUGINS=",
           "MATRIX_STARTUP_PROBE_FD=", "XDG_RUNTIME_DIR=",  "XDG_CONFIG_HOME=",
           "QT_LOGGING_RULES=",        "QT_STYLE_OVERRIDE="};
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const bool drop = std::any_of(std::begin(dropped), std::end(dropped), [&](const char *p) {
            return std::strncmp(*e, p, std::strlen(p)) == 0;
        });
        if (!drop)
            env.emplace_back(*e);
    }
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("QT_PLUGIN_PATH=" + probeDir);
    env.push_back("QT_QPA_GENERIC_PLUGINS=matrixstartupprobe");
    env.push_back("MATRIX_STARTUP_PROBE_FD=" + std::to_string(fd));
    env.push_back("XDG_RUNTIME_DIR=" + scratch);
    // A settings folder of its own, so that a program that keeps settings
    // starts the same way every time.
    env.push_back("XDG_CONFIG_HOME=" + scratch);
    env.push_back("QT_LOGGING_RULES=*.debug=false;qt.qpa.*=false");
    return env;
}

Sample startOnce(const Program &program, const std::string &probeDir, const std::string &scratch,
                 int timeoutMs)
{
    Sample sample;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        sample.failure = "pipe failed";
        return sample;
    }
    // The write end is handed to the child under a fixed number.
    const int childFd = 9;
    const std::vector<std::string> env = childEnvironment(probeDir, scratch, childFd);
    std::vector<char *> envp;
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(program.path.c_str()), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], childFd);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    pid_t pid = 0;
    const long long started = monotonicNs();
    const int spawned
        = posix_spawn(&pid, program.path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        sample.failure = std::string("cannot start: ") + std::strerror(spawned);
        return sample;
    }

    std::string line;
    const long long deadline = started + timeoutMs * 1000000LL;
    for (;;) {
        const long long left = (deadline - monotonicNs()) / 1000000LL;
        pollfd pfd {pipeFds[0], POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, int(left)) <= 0) {
            sample.failure = "no first paint within " + std::to_string(timeoutMs) + " ms";
            kill(pid, SIGKILL);
            break;
        }
        char buffer[128];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            sample.failure = "ended without a first paint (is the probe plugin found?)";
            break;
        }
        line.append(buffer, size_t(n));
        if (line.find('\n') != std::string::npos)
            break;
    }
    close(pipeFds[0]);
    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }

    long long painted = 0;
    long rssKiB = 0;
    if (sample.failure.empty()) {
        if (std::sscanf(line.c_str(), "painted %lld %ld", &painted, &rssKiB) == 2) {
            sample.ok = true;
            sample.ms = double(painted - started) / 1e6;
            sample.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
            sample.mib = double(rssKiB) / 1024.0;
        } else {
            sample.failure = "unreadable report: " + line;
        }
    }
    return sample;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: startuptime --probe DIR [--runs N] [--warmup N] [--realtime]\n"
                 "                   [--baseline NAME] [--subject NAME] NAME=PROGRAM...\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string probeDir, baselineName, subjectName;
    int runs = 7, warmup = 1, timeoutMs = 30000;
    bool realtime = false;
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--probe" && hasValue)
            probeDir = argv[++i];
        else if (arg == "--runs" && hasValue)
            runs = std::atoi(argv[++i]);
        else if (arg == "--warmup" && hasValue)
            warmup = std::atoi(argv[++i]);
        else if (arg == "--realtime")
            realtime = true;
        else if (arg == "--baseline" && hasValue)
            baselineName = argv[++i];
        else if (arg == "--subject" && hasValue)
            subjectName = argv[++i];
        else if (arg.find('=') != std::string::npos && arg[0] != '-')
            programs.push_back(
                {arg.substr(0, arg.find('=')), arg.substr(arg.find('=') + 1), {}, {}, {}});
        else
            return usage();
    }
    if (probeDir.empty() || programs.empty() || runs < 1 || warmup < 0)
        return usage();
    for (const Program &p : programs) {
        if (access(p.path.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "startuptime: %s: %s is not an executable\n", p.name.c_str(),
                         p.path.c_str());
            return 2;
        }
    }
    auto find = [&](const std::string &name) -> const Program * {
        for (const Program &p : programs)
            if (p.name == name)
                return &p;
        return nullptr;
    };
    if (baselineName.empty())
        baselineName = programs.back().name;
    if (subjectName.empty())
        subjectName = programs.front().name;
    if (!find(baselineName) || !find(subjectName)) {
        std::fprintf(stderr, "startuptime: --baseline and --subject must name a program\n");
        return 2;
    }

    // The programs started inherit the policy.
    const char *scheduling = "normal scheduling";
    if (realtime) {
        sched_param priority {};
        priority.sched_priority = 10;
        if (sched_setscheduler(0, SCHED_FIFO, &priority) == 0)
            scheduling = "real-time FIFO scheduling";
        else
            std::fprintf(stderr, "startuptime: no real-time scheduling (%s), measuring as is\n",
                         std::strerror(errno));
    }

    char scratch[] = "/tmp/startuptime.XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("startuptime: mkdtemp");
        return 1;
    }
    chmod(scratch, 0700);

    // Round after round, every program once per round, so that a burst of
    // load on the shared machine falls on all of them alike.
    int failures = 0;
    for (int round = 0; round < warmup + runs; ++round) {
        for (Program &p : programs) {
            const Sample s = startOnce(p, probeDir, scratch, timeoutMs);
            if (!s.ok) {
                std::fprintf(stderr, "startuptime: %s: %s\n", p.name.c_str(), s.failure.c_str());
                ++failures;
                continue;
            }
            if (round >= warmup) {
                p.ms.push_back(s.ms);
                p.cpuMs.push_back(s.cpuMs);
                p.mib.push_back(s.mib);
            }
        }
    }
    std::string cleanup = std::string("rm -rf '") + scratch + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "startuptime: could not remove %s\n", scratch);
    for (const Program &p : programs) {
        if (p.ms.empty()) {
            std::fprintf(stderr, "startuptime: %s never painted\n", p.name.c_str());
            return 1;
        }
    }

    const Program &base = *find(baselineName);
    const double baseMs = median(base.ms), baseCpu = median(base.cpuMs), baseMib = median(base.mib);
    std::printf("First painted window, offscreen, median of %d runs, %s (one run)\n\n", runs,
                scheduling);
    const std::string times = "x " + baselineName;
    std::printf("%-10s %8s %15s %7s %8s %7s %8s %7s\n", "program", "time ms", "min-max",
                times.c_str(), "CPU ms", times.c_str(), "RSS MiB", times.c_str());
    for (const Program &p : programs) {
        const auto [lo, hi] = std::minmax_element(p.ms.begin(), p.ms.end());
        const double ms = median(p.ms), cpu = median(p.cpuMs), mib = median(p.mib);
        std::printf("%-10s %8.1f %7.1f-%-7.1f %6.2fx %8.1f %6.2fx %8.1f %6.2fx\n", p.name.c_str(),
                    ms, *lo, *hi, ms / baseMs, cpu, cpu / baseCpu, mib, mib / baseMib);
    }
    const Program &subject = *find(subjectName);
    std::printf("\n");
    for (const Program &p : programs) {
        if (&p == &subject)
            continue;
        std::printf("%s / %s: time %.2fx, CPU %.2fx, memory %.2fx\n", subject.name.c_str(),
                    p.name.c_str(), median(subject.ms) / median(p.ms),
                    median(subject.cpuMs) / median(p.cpuMs), median(subject.mib) / median(p.mib));
    }
    return failures ? 1 : 0;
}
