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

// A TCP client that keeps all it receives.
class Client : public QObject
{
public:
    explicit Client(quint16 port)
    {
        connect(&socket, &QTcpSocket::readyRead, this, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    QTcpSocket socket;
    QByteArray received;
};

// Runs the event loop until done() holds or timeoutMs have passed.
// QTest::qWaitFor sleeps 10 ms between passes of the event loop, which
// would slow an in-process flood down to the test's pace.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start(1);
    if (!done())
        loop.exec();
    return done();
}

// Reproducible bytes without a '!', so no command ever ends.
QByteArray garbage(int size)
{
    QVector<quint32> words(size / 4 + 1);
    QRandomGenerator(7).fillRange(words.data(), words.size());
    QByteArray bytes(reinterpret_cast<const char *>(words.constData()), size);
    bytes.replace('!', '?');
    return bytes;
}

// Starts matrix-sim on a free loopback port, with a limit on open files if
// asked, and reads the port it prints.
bool startSim(QProcess &sim, const QStringList &args, quint16 *port, int fileLimit = 0)
{
    const QStringList all = QStringList {"--tcp", "127.0.0.1:0"} + args;
    if (fileLimit > 0)
        sim.start(QStringLiteral("/bin/sh"),
                  QStringList {"-c",
                               QStringLiteral("ulimit -n %1 && exec \"$0\" \"$@\"").arg(fileLimit),
                               MATRIX_SIM_EXECUTABLE}
                      + all);
    else
        sim.start(QStringLiteral(MATRIX_SIM_EXECUTABLE), all);
    QByteArray out;
    // Checked below by what was printed.
    [[maybe_unused]] const bool printed = waitFor(
        [&] {
            out += sim.readAllStandardOutput();
            return out.contains('\n') || sim.state() == QProcess::NotRunning;
        },
        10000);
    *port = static_cast<quint16>(out.mid(out.lastIndexOf(':') + 1).trimmed().toUInt());
    return out.startsWith("tcp 127.0.0.1:") && *port != 0;
}

qint64 cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> f = stat.readAll().split(')').last().split(' ');
    return (f.value(12).toLongLong() + f.value(13).toLongLong()) * 1000 / ::sysconf(_SC_CLK_TCK);
}

} // namespace

class TstSimServer : public QObject
{
    Q_OBJECT

private slots:
    void tcpClientsGetTheirOwnRepliesAndHangUps();
    void repliesWaitingAreBounded_data();
    void repliesWaitingAreBounded();
    void floodsLeaveQuestionsAnswered_data();
    void floodsLeaveQuestionsAnswered();
    void clientsWaitingForDescriptorsAreServedLater();
    void signalsEndTheSimulatorDuringAFlood_data();
    void signalsEndTheSimulatorDuringAFlood();
    void commandLine_data();
    void commandLine();
};

void TstSimServer::tcpClientsGetTheirOwnRepliesAndHangUps()
{
    SimServer::Options options;
    options.port = 0;
    options.closeAfterCommands = 1; // counted per connection
    SimServer server(options);
    QVERIFY(server.listenTcp());
    Client a(server.tcpPort()), b(server.tcpPort());
    QVERIFY(a.socket.waitForConnected(5000) && b.socket.waitForConnected(5000));
    Client c(server.tcpPort()); // only listens
    QVERIFY(c.socket.waitForConnected(5000));
    a.socket.write("*?!*1<2!");
    QTRY_COMPARE(a.socket.state(), QAbstractSocket::UnconnectedState);
    b.socket.write("*2<9!");
    QTRY_COMPARE(b.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(a.received, server.device().infoReply());
    QCOMPARE(server.device().routeOf(1), 1); // a's second command never reached the device
    // b's switch is b's answer, and reaches c unasked; a's question did not.
    QTRY_COMPARE(c.received, b.received);
    const StatusReply map = decodeStatusReply(b.received, 16);
    QCOMPARE(map.kind, StatusReply::RoutingMap);
    QCOMPARE(map.sources.mid(0, 3), QVector<int>({1, 9, 3}));
}

void TstSimServer::repliesWaitingAreBounded_data()
{
    QTest::addColumn<QByteArray>("commands"); // in one write
    QTest::addColumn<QStringList>("replies"); // routes of outputs 1-4, or "info"
    QTest::newRow("three in a row are all answered")
        << QByteArray("*1<2!*2<3!*3<4!") << QStringList {"2234", "2334", "2344"};
    QTest::newRow("a fourth pushes out the oldest waiting map")
        << QByteArray("*1<2!*2<3!*3<4!*4<5!") << QStringList {"2234", "2344", "2345"};
    QTest::newRow("a question then pushes out a map, not itself")
        << QByteArray("*1<2!*2<3!*3<4!*4<5!*?!") << QStringList {"2234", "2345", "info"};
}

void TstSimServer::repliesWaitingAreBounded()
{
    QFETCH(QByteArray, commands);
    QFETCH(QStringList, replies);
    SimServer::Options options;
    options.port = 0;
    options.tcpReplyGapMs = 200; // all the commands arrive within one gap
    SimServer server(options);
    QVERIFY(server.listenTcp());
    QStringList sent;
    connect(&server, &SimServer::transmitted, this, [&](const QString &, const QByteArray &bytes) {
        const StatusReply r = decodeStatusReply(bytes, 16);
        QString routes;
        for (int k = 0; k < 4 && r.kind == StatusReply::RoutingMap; ++k)
            routes += QString::number(r.sources[k]);
        sent << (r.kind == StatusReply::DeviceInformation ? QStringLiteral("info") : routes);
    });
    Client client(server.tcpPort());
    QVERIFY(client.socket.waitForConnected(5000));
    client.socket.write(commands);
    QVERIFY2(waitFor([&] { return sent.size() >= replies.size(); }, 5000),
             qPrintable(sent.join(' ')));
    QCOMPARE(sent, replies);
}

void TstSimServer::floodsLeaveQuestionsAnswered_data()
{
    QTest::addColumn<QByteArray>("flood");
    QTest::addColumn<QVector<int>>("routing"); // after the flood; empty: as at power-on

    QTest::newRow("10 MB without '!'") << garbage(10 << 20) << QVector<int>();

    // Every switch is answered with a routing map: far more than can leave.
    const QList<QByteArray> others
        = {"*>O1 SETLD 100 END!", "*@68,240!", "*!", "*>O4 BOGUS END!", "*S402!"};
    QByteArray commands;
    QVector<int> routing = MatrixDevice().routing();
    for (int i = 0; i < 100000; ++i) {
        if (i % 2 == 0) {
            const int output = i % 16 + 1;
            const int input = i % 7 + 1;
            commands += '*' + QByteArray::number(output) + '<' + QByteArray::number(input) + '!';
            routing[output - 1] = input;
        } else {
            commands += others[i % others.size()];
        }
    }
    QTest::newRow("100,000 commands") << commands << routing;
}

// A flood on one connection leaves the others their turn, and a question
// asked after it is answered soon, not after a reply to every command in it.
void TstSimServer::floodsLeaveQuestionsAnswered()
{
    QFETCH(QByteArray, flood);
    QFETCH(QVector<int>, routing);
    SimServer::Options options;
    options.port = 0;
    SimServer server(options);
    QVERIFY(server.listenTcp());
    Client flooder(server.tcpPort()), bystander(server.tcpPort());
    QVERIFY(flooder.socket.waitForConnected(5000) && bystander.socket.waitForConnected(5000));
    const QByteArray info = server.device().infoReply();
    const QString bystanderLink = ':' + QString::number(bystander.socket.localPort());

    QElapsedTimer clock;
    clock.start();
    int floodOutcomes = 0;
    int outcomesWhenAsked = -1;
    int outcomesWhenAnswered = -1;
    qint64 questionHandledAt = -1;
    connect(&server, &SimServer::commandHandled, this,
            [&](const QString &link, const QByteArray &bytes) {
                if (link.endsWith(bystanderLink)) {
                    outcomesWhenAnswered = floodOutcomes;
                    return;
                }
                ++floodOutcomes;
                if (bytes == "*?!")
                    questionHandledAt = clock.elapsed();
            });

    flooder.socket.write(flood);
    QVERIFY2(waitFor([&] { return floodOutcomes > 5000; }, 20000),
             qPrintable(QStringLiteral("%1 outcomes in 20 s").arg(floodOutcomes)));
    outcomesWhenAsked = floodOutcomes;
    bystander.socket.write("*?!");
    // The flood's switches reach the bystander too; its own answer must not wait behind them.
    QVERIFY2(waitFor([&] { return bystander.received.contains(info); }, 20000),
             "a question on another connection went unanswered during the flood");
    // A few turns of the flooder at most, however much of it is waiting.
    QVERIFY2(outcomesWhenAnswered - outcomesWhenAsked <= 20 * SimLink::MaxOutcomesPerTurn,
             qPrintable(QStringLiteral("%1 flood outcomes came first")
                            .arg(outcomesWhenAnswered - outcomesWhenAsked)));

    QVERIFY2(waitFor([&] { return flooder.socket.bytesToWrite() == 0; }, 30000),
             qPrintable(QStringLiteral("%1 bytes of the flood still unsent after 30 s")
                            .arg(flooder.socket.bytesToWrite())));
    const qint64 floodEnded = clock.elapsed();
    flooder.socket.write("*?!");
    QVERIFY2(waitFor([&] { return flooder.received.endsWith(info); }, 30000),
             qPrintable(
                 QStringLiteral("no answer 30 s after the flood; %1 outcomes").arg(floodOutcomes)));
    const qint64 answered = clock.elapsed();
    qInfo("flood sent after %lld ms; '*?!' handled %lld ms and answered %lld ms later",
          static_cast<long long>(floodEnded),
          static_cast<long long>(questionHandledAt - floodEnded),
          static_cast<long long>(answered - floodEnded));
    // The bounds allow for a loaded machine and sanitizers; it took minutes.
    QVERIFY2(answered - questionHandledAt < 1000, "the answer waited behind older replies");
    QVERIFY2(answered - floodEnded < 10000, "the flood was digested too slowly");

    const MatrixDevice &device = server.device();
    QVERIFY(device.records().size() <= device.recordLimit() + device.recordLimit() / 8);
    QCOMPARE(device.routing(), routing.isEmpty() ? MatrixDevice().routing() : routing);
}

// Out of file descriptors, matrix-sim waits and tries again instead of
// spinning or giving up: clients it could not take are served once others
// hang up.
void TstSimServer::clientsWaitingForDescriptorsAreServedLater()
{
    QProcess sim;
    quint16 port = 0;
    QVERIFY(startSim(sim, {}, &port, 32));
    const QByteArray info = MatrixDevice().infoReply();
    using Clients = std::vector<std::unique_ptr<Client>>;
    const auto answered = [&](const Clients &clients) {
        return std::count_if(clients.begin(), clients.end(),
                             [&](const auto &c) { return c->received == info; });
    };
    const auto connectMore = [&](Clients &clients, int count) {
        for (int i = 0; i < count; ++i) {
            clients.emplace_back(new Client(port));
            if (!clients.back()->socket.waitForConnected(5000)) // the kernel's queue takes it
                return false;
            clients.back()->socket.write("*?!");
        }
        return true;
    };
    // A first client comes and goes. After it the listening socket has
    // found no one waiting, and Qt's own accept loop took every later
    // failure for "try again". Its leaving also runs, while descriptors are
    // plentiful, what freeing the fillers runs later without any: the
    // undefined-behaviour sanitizer needs a pipe the first time it checks a
    // call.
    Clients fillers;
    QVERIFY(connectMore(fillers, 1));
    QVERIFY(waitFor([&] { return answered(fillers) == 1; }, 5000));
    fillers.clear();
    QVERIFY(connectMore(fillers, 1)); // answered once the first one's leaving is done
    QVERIFY(waitFor([&] { return answered(fillers) == 1; }, 5000));
    QVERIFY(connectMore(fillers, 39));
    QByteArray log;
    QVERIFY2(waitFor(
                 [&] {
                     log += sim.readAllStandardError();
                     return log.contains("cannot accept a connection");
                 },
                 10000),
             qPrintable(QStringLiteral("%1 answered; log ends: %2")
                            .arg(answered(fillers))
                            .arg(QString::fromLocal8Bit(log.right(200)))));
    QVERIFY(answered(fillers) < long(fillers.size()));

    const qint64 cpuBefore = cpuMs(sim.processId());
    QVERIFY2(!waitFor([&] { return cpuMs(sim.processId()) - cpuBefore > 300; }, 1000),
             "matrix-sim keeps busy while out of descriptors");

    Clients late;
    QVERIFY(connectMore(late, 4));
    fillers.clear();
    QVERIFY2(waitFor([&] { return answered(late) == long(late.size()); }, 10000),
             qPrintable(QStringLiteral("%1 of %2 answered").arg(answered(late)).arg(late.size())));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

void TstSimServer::signalsEndTheSimulatorDuringAFlood_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TstSimServer::signalsEndTheSimulatorDuringAFlood()
{
    QFETCH(int, signalNumber);
    QProcess sim;
    quint16 port = 0;
    QVERIFY(startSim(sim, {"--quiet"}, &port));
    Client flooder(port);
    QVERIFY(flooder.socket.waitForConnected(5000));
    flooder.socket.write("*?!" + garbage(16 << 20));
    // The answer to the question ahead of the flood: it is being digested.
    QVERIFY2(waitFor([&] { return !flooder.received.isEmpty(); }, 10000),
             "no answer to the question ahead of the flood");
    QVERIFY(flooder.socket.bytesToWrite() > 0);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(sim.processId()), signalNumber);
    QVERIFY2(sim.waitForFinished(5000), "still running 5 s after the signal");
    qInfo("ended %lld ms after the signal", static_cast<long long>(clock.elapsed()));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void TstSimServer::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // in stdout or stderr

    QTest::newRow("help") << QStringList {"--help"} << 0 << "[LINK]";
    QTest::newRow("LINK reaches the pty")
        << QStringList {"--pty", "/dev/null"} << 1 << "/dev/null exists";
    QTest::newRow("unknown option") << QStringList {"--bogus"} << 2 << "bogus";
    QTest::newRow("LINK without --pty") << QStringList {"/tmp/ttyX"} << 2 << "needs --pty";
    QTest::newRow("two LINKs") << QStringList {"--pty", "a", "b"} << 2 << "'b'";
    QTest::newRow("inputs 0") << QStringList {"--inputs", "0"} << 2 << "--inputs";
}

void TstSimServer::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QProcess sim;
    sim.start(QStringLiteral(MATRIX_SIM_EXECUTABLE), QStringList {"--tcp", "127.0.0.1:0"} + args);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), exitCode);
    const QString text = sim.readAllStandardOutput() + sim.readAllStandardError();
    QVERIFY2(text.contains(output), qPrintable(text));
}

QTEST_GUILESS_MAIN(TstSimServer)
#include "tst_simserver.moc"
