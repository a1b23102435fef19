// Serving the device: TCP clients, floods, running out of file descriptors,
// and the matrix-sim program's command line and signals.

#include "matrix/replydecoder.h"
#include "sim/simlink.h"
#include "sim/simserver.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// A loopback client that keeps all it receives.
struct Client
{
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        connected = socket.waitForConnected(5000); // the kernel's queue takes it
    }
    QTcpSocket socket;
    QByteArray received;
    bool connected;
};

// Runs the event loop until done() or timeoutMs. QTest::qWaitFor sleeps
// 10 ms between passes, which would slow an in-process flood to our pace.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop to look again
    tick.start(1);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// Reproducible bytes without a '!', so no command ever ends.
QByteArray garbage(int size)
{
    QVector<quint32> words(size / 4 + 1);
    QRandomGenerator(7).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size).replace('!', '?');
}

// Starts matrix-sim on a free loopback port, under a limit on open files if
// asked; returns the port it prints, 0 if none.
quint16 startSim(QProcess &sim, const QStringList &args, int fileLimit = 0)
{
    const QString limit = fileLimit ? QStringLiteral("ulimit -n %1 && ").arg(fileLimit) : "";
    sim.start("/bin/sh",
              QStringList {"-c", limit + "exec \"$0\" \"$@\"", MATRIX_SIM_EXECUTABLE, "--tcp",
                           "127.0.0.1:0"}
                  + args);
    waitFor([&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; }, 10000);
    const QByteArray line = sim.peek(64).split('\n').first(); // left there for the test
    return line.startsWith("tcp 127.0.0.1:") ? quint16(line.mid(14).toUInt()) : 0;
}

} // namespace

class TstSimServer : public QObject
{
    Q_OBJECT

    SimServer::Options options;

private slots:
    void init()
    {
        options = {};
        options.port = 0;
    }

    // Each connection gets its own answers and its own count to close
    // after; a switch reaches the other connections unasked, the answer to
    // a question only the asker.
    void connectionsHearChangesNotQuestions()
    {
        options.closeAfterCommands = 2;
        SimServer server(options);
        QVERIFY(server.listenTcp());
        Client a(server.tcpPort()), b(server.tcpPort()), listener(server.tcpPort());
        QVERIFY(a.connected && b.connected && listener.connected);
        const QByteArray info = server.device().infoReply(),
                         map = server.device().routingMapReply();
        a.socket.write("*?!*!*1<2!");
        QTRY_COMPARE(a.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(a.received, info + map);
        b.socket.write("*2<9!*!*3<5!");
        QTRY_COMPARE(b.socket.state(), QAbstractSocket::UnconnectedState);
        const QByteArray switched = server.device().routingMapReply();
        // The commands past each count never reached the device.
        QCOMPARE(decodeStatusReply(switched, 16).sources.mid(0, 3), QVector<int>({1, 9, 3}));
        QCOMPARE(b.received, switched + switched);
        QTRY_COMPARE(listener.received, switched);
    }

    // Commands faster than the reply gap: one reply leaves, two wait, and a
    // newer one pushes out the oldest waiting one of its kind (of any kind
    // when none is), so the device information asked in between survives.
    void repliesWaitingAreBounded()
    {
        options.tcpReplyGapMs = 200;
        SimServer server(options);
        QVERIFY(server.listenTcp());
        Client client(server.tcpPort());
        QVERIFY(client.connected);
        client.socket.write("*1<2!*2<3!*?!*3<4!*4<5!");
        MatrixDevice model;
        const QByteArray first = model.handleCommand("*1<2!").reply + model.infoReply();
        model.handleCommand("*2<3!");
        model.handleCommand("*3<4!");
        QTRY_COMPARE(client.received, first + model.handleCommand("*4<5!").reply);
    }

    void floodsLeaveQuestionsAnswered_data()
    {
        QTest::addColumn<QByteArray>("flood");
        QTest::newRow("10 MB without '!'") << garbage(10 << 20);
        // Every switch is answered with a routing map: far more than can leave.
        QTest::newRow("100,000 commands")
            << QByteArray(
                   "*1<2!*>O1 SETLD 100 END!*3<4!*@68,240!*16<7!*!*5<1!*>O4 BOGUS END!*S402!*2<9!")
                   .repeated(10000);
    }

    // A flood on one connection leaves the others their turn, and a question
    // asked after it is answered soon, not after a reply to every command in
    // it.
    void floodsLeaveQuestionsAnswered()
    {
        QFETCH(QByteArray, flood);
        SimServer server(options);
        QVERIFY(server.listenTcp());
        Client flooder(server.tcpPort()), bystander(server.tcpPort());
        QVERIFY(flooder.connected && bystander.connected);
        const QByteArray info = server.device().infoReply();
        const QString bystanderLink = ':' + QString::number(bystander.socket.localPort());
        int flooded = 0, floodedWhenAnswered = -1;
        QElapsedTimer sinceHandled, sinceFloodEnded;
        connect(&server, &SimServer::commandHandled, this,
                [&](const QString &link, const QByteArray &bytes) {
                    if (link.endsWith(bystanderLink))
                        floodedWhenAnswered = flooded;
                    else if (++flooded && bytes == "*?!")
                        sinceHandled.start();
                });
        flooder.socket.write(flood);
        QVERIFY2(waitFor([&] { return flooded > 5000; }, 20000),
                 qPrintable(QString::number(flooded)));
        const int floodedWhenAsked = flooded;
        bystander.socket.write("*?!");
        // The flood's switches reach the bystander too; its answer must not wait behind them.
        QVERIFY2(waitFor([&] { return bystander.received.contains(info); }, 20000)
                     && floodedWhenAnswered - floodedWhenAsked <= 20 * SimLink::MaxOutcomesPerTurn,
                 qPrintable(QStringLiteral("%1 flood outcomes came first")
                                .arg(floodedWhenAnswered - floodedWhenAsked)));
        QVERIFY(waitFor([&] { return flooder.socket.bytesToWrite() == 0; }, 30000));
        sinceFloodEnded.start();
        flooder.socket.write("*?!");
        QVERIFY(waitFor([&] { return flooder.received.endsWith(info); }, 30000));
        // The bounds allow for a loaded machine and sanitizers; it once took minutes.
        QVERIFY2(sinceHandled.elapsed() < 1000 && sinceFloodEnded.elapsed() < 10000,
                 qPrintable(QStringLiteral("answered %1 ms after the flood ended, %2 ms after "
                                           "the question was handled")
                                .arg(sinceFloodEnded.elapsed())
                                .arg(sinceHandled.elapsed())));
        const int kept = server.device().records().size(), limit = server.device().recordLimit();
        QVERIFY2(kept >= limit && kept <= limit + limit / 8, qPrintable(QString::number(kept)));
        MatrixDevice model; // every switch of the flood took effect, in order
        MatrixDevice::Session session;
        MatrixDevice::Outcome o;
        for (int pos = 0; model.feedOne(session, flood, &pos, &o);) { }
        QCOMPARE(server.device().routing(), model.routing());
    }

    // Out of file descriptors, matrix-sim waits and tries again instead of
    // spinning or giving up: clients it could not take are served once
    // others hang up.
    void clientsWaitingForDescriptorsAreServedLater()
    {
        QProcess sim;
        const quint16 port = startSim(sim, {}, 32);
        QVERIFY(port);
        const QByteArray info = MatrixDevice().infoReply();
        std::vector<std::unique_ptr<Client>> clients;
        const auto ask = [&](int count) {
            while (count-- > 0) {
                clients.emplace_back(new Client(port));
                clients.back()->socket.write("*?!");
            }
        };
        const auto answered = [&] {
            return std::count_if(clients.begin(), clients.end(),
                                 [&](const auto &c) { return c->received == info; });
        };
        const auto cpuMs = [&] { // user and system time so far
            QFile stat(QStringLiteral("/proc/%1/stat").arg(sim.processId()));
            stat.open(QIODevice::ReadOnly);
            const QList<QByteArray> f = stat.readAll().split(')').last().split(' ');
            return (f.value(12).toLongLong() + f.value(13).toLongLong()) * 1000
                / ::sysconf(_SC_CLK_TCK);
        };
        // A first client comes and goes while descriptors are plentiful: a
        // listener that has once found no one waiting must still tell a
        // failure from "try again", and the sanitizers make their first
        // checks, which need a descriptor of their own.
        ask(1);
        QVERIFY(waitFor([&] { return answered() == 1; }, 5000));
        clients.clear();
        ask(1);
        QVERIFY(waitFor([&] { return answered() == 1; }, 5000));
        ask(39);
        QByteArray log;
        QVERIFY2(
            waitFor([&] { return (log += sim.readAllStandardError()).contains("cannot accept"); },
                    10000),
            qPrintable(QString::number(answered()) + " answered; log: " + log.right(200)));
        const qint64 cpuBefore = cpuMs();
        QVERIFY2(!waitFor([&] { return cpuMs() - cpuBefore > 300; }, 1000),
                 "matrix-sim keeps busy while out of descriptors");
        ask(4); // and the others leave
        clients.erase(clients.begin(), clients.end() - 4);
        QVERIFY2(waitFor([&] { return answered() == 4; }, 10000),
                 qPrintable(QStringLiteral("%1 of 4 answered").arg(answered())));
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000) && sim.exitCode() == 0);
    }

    void commandLineAndSignals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal"); // sent during a flood; 0: none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // in stdout or stderr
        QTest::newRow("SIGTERM during a flood")
            << QStringList {"--quiet"} << int(SIGTERM) << 0 << "";
        QTest::newRow("SIGINT during a flood") << QStringList {"--quiet"} << int(SIGINT) << 0 << "";
        QTest::newRow("help") << QStringList {"--help"} << 0 << 0 << "[LINK]";
        QTest::newRow("LINK reaches the pty")
            << QStringList {"--pty", "/dev/null"} << 0 << 1 << "/dev/null exists";
        QTest::newRow("unknown option") << QStringList {"--bogus"} << 0 << 2 << "bogus";
        QTest::newRow("LINK without --pty") << QStringList {"/tmp/ttyX"} << 0 << 2 << "needs --pty";
        QTest::newRow("two LINKs") << QStringList {"--pty", "a", "b"} << 0 << 2 << "'b'";
        QTest::newRow("inputs 0") << QStringList {"--inputs", "0"} << 0 << 2 << "--inputs";
    }

    void commandLineAndSignals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcess sim;
        const quint16 port = startSim(sim, args);
        std::unique_ptr<Client> flooder;
        if (signal) {
            flooder.reset(new Client(port));
            flooder->socket.write("*?!" + garbage(16 << 20));
            // Answered, and the flood still being sent: it is being digested.
            QVERIFY2(waitFor([&] { return !flooder->received.isEmpty(); }, 10000), "no answer");
            QVERIFY(flooder->socket.bytesToWrite() > 0);
            ::kill(static_cast<pid_t>(sim.processId()), signal);
        }
        QVERIFY2(sim.state() == QProcess::NotRunning || sim.waitForFinished(5000),
                 "still running after 5 s");
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), exitCode);
        const QString text = sim.readAllStandardOutput() + sim.readAllStandardError();
        QVERIFY2(text.contains(output), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TstSimServer)
#include "tst_simserver.moc"
