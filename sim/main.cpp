// matrix-sim: a stand-in for the matrix switcher, serving the device model
// over TCP and/or a pseudo-terminal so the console can be tried and tested
// without the hardware.

#include "devicelink/hostport.h"
#include "devicelink/signalpipe.h"
#include "matrixversion.h"
#include "sim/simcommandline.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int exitBadOptions = 2;
constexpr int exitCannotServe = 1;

void printErr(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The log goes to stderr in one write per event-loop turn rather than one per
// line: a burst of commands makes many lines at once.
class StderrLog
{
public:
    StderrLog()
    {
        m_flush.setSingleShot(true);
        m_flush.setInterval(0);
        QObject::connect(&m_flush, &QTimer::timeout, [this] { flush(); });
    }
    ~StderrLog() { flush(); }

    void add(const QString &line)
    {
        m_pending += line.toLocal8Bit();
        m_pending += '\n';
        if (m_pending.size() >= 64 * 1024)
            flush();
        else if (!m_flush.isActive())
            m_flush.start();
    }

    void flush()
    {
        if (m_pending.isEmpty())
            return;
        std::fwrite(m_pending.constData(), 1, static_cast<size_t>(m_pending.size()), stderr);
        std::fflush(stderr);
        m_pending.clear();
    }

private:
    QByteArray m_pending;
    QTimer m_flush;
};

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-sim"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(projectVersion));

    QCommandLineParser parser;
    describeOptions(&parser);

    if (!parser.parse(app.arguments())) {
        printErr(
            QStringLiteral("matrix-sim: %1\nTry 'matrix-sim --help'.").arg(parser.errorText()));
        return exitBadOptions;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    SimConfig config;
    QString error;
    if (!parseConfig(parser, &config, &error)) {
        printErr(QStringLiteral("matrix-sim: %1\nTry 'matrix-sim --help'.").arg(error));
        return exitBadOptions;
    }
    const SimServer::Options &opts = config.server;

    devicelink::SignalPipe signalPipe;
    if (!signalPipe.isValid()) {
        printErr(QStringLiteral("matrix-sim: cannot set up signal handling"));
        return exitCannotServe;
    }
    QObject::connect(&signalPipe, &devicelink::SignalPipe::received, &app, &QCoreApplication::quit);

    StderrLog log;
    SimServer server(opts);
    server.device().setPortCounts(config.inputs, config.outputs);
    server.device().setLetter(config.letter);
    if (!config.quiet)
        server.setLogFunction([&log](const QString &line) { log.add(line); });

    if (config.tcp) {
        if (!opts.address.isLoopback())
            printErr(QStringLiteral(
                         "matrix-sim: note: listening on the non-loopback address %1 as asked")
                         .arg(opts.address.toString()));
        if (!server.listenTcp()) {
            printErr(QStringLiteral("matrix-sim: %1").arg(server.errorString()));
            return exitCannotServe;
        }
        printOut(QStringLiteral("tcp %1").arg(
            devicelink::joinHostPort(server.tcpAddress().toString(), server.tcpPort())));
    }
    if (config.pty) {
        if (!server.openPty(config.ptyLink)) {
            printErr(QStringLiteral("matrix-sim: %1").arg(server.errorString()));
            return exitCannotServe;
        }
        printOut(QStringLiteral("pty %1").arg(server.ptySlavePath()));
        if (!config.ptyLink.isEmpty())
            printOut(QStringLiteral("link %1 -> %2").arg(config.ptyLink, server.ptySlavePath()));
    }
    printErr(QStringLiteral("matrix-sim: device %1, %2 inputs, %3 outputs; Ctrl+C to stop")
                 .arg(QChar::fromLatin1(config.letter))
                 .arg(config.inputs)
                 .arg(config.outputs));

    const int status = app.exec();
    server.stop(); // removes the pty symlink
    return status;
}
