// The simulator: its device model (framing, commands, replies as the console
// reads them) and serving it (TCP clients, floods, descriptors, the program).

#include "codec/codec.h"
#include "commands/builders.h"
#include "matrix/replydecoder.h"
#include "sim/outcomelog.h"
#include "sim/simlink.h"
#include "sim/simserver.h"

#include <QProcess>
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

// A command too long to end, and stray bytes: no '!', so no command ever ends.
const QByteArray junk = '*' + QByteArray(300, 'c') + "junk\n";

// Starts matrix-sim on a free loopback port (with a file limit if asked); 0: no port.
quint16 startSim(QProcess &sim, const QStringList &args, int fileLimit = 0)
{
    const QString limit = fileLimit ? QStringLiteral("ulimit -n %1 && ").arg(fileLimit) : "";
    const QString run = limit + "exec \"$0\" --tcp 127.0.0.1:0 \"$@\"";
    sim.start("/bin/sh", QStringList {"-c", run, MATRIX_SIM_EXECUTABLE} + args);
    waitFor([&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; }, 10000);
    const QByteArray line = sim.peek(64).split('\n').first(); // left there for the test
    return line.startsWith("tcp 127.0.0.1:") ? quint16(line.mid(14).toUInt()) : 0;
}

// What the command table checks, as "name=value" words: understood or not, the reply
// as the console's decoder reads it (it must tell the state now), the fields set.
QStringList seen(const MatrixDevice &d, const MatrixDevice::Outcome &c)
{
    const StatusReply r = decodeStatusReply(c.reply, d.outputCount());
    const bool info = r.kind == StatusReply::DeviceInformation && r.countsAccepted
        && r.deviceLetter == "C" && r.inputs == d.inputCount() && r.outputs == d.outputCount();
    const bool map = r.kind == StatusReply::RoutingMap && r.sources == d.routing();
    const MatrixDevice::OutputCard o = d.outputCard(4);
    const MatrixDevice::InputCard i = d.inputCard(4);
    return QString::asprintf("%s reply=%s ports=%dx%d route3=%d routeLast=%d O4.bright=%d "
                             "O4.wall=%d%d%d%d I4.edid=%d,%d,%s O4=%s,%s I4=%s,%s",
                             c.understood ? "understood" : "refused",
                             info ? "info" : (map ? "map" : qPrintable(printable(c.reply))),
                             d.inputCount(), d.outputCount(), d.routeOf(3),
                             d.routeOf(d.outputCount()), o.brightness, o.wall.across, o.wall.down,
                             o.wall.column, o.wall.row, i.edidPreset, i.edidCopyMonitor,
                             i.edidKeyword.constData(), o.resolution.constData(),
                             o.mode.constData(), i.resolution.constData(), i.source.constData())
        .split(QLatin1Char(' '));
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void framingDoesNotDependOnSplits()
    {
        // Garbage past its run limit, and a command past its length limit whose tail is garbage.
        const QByteArray script = "hi\n*?!*3<2!xy*>O1 SET72*>O1 SET720P60 END!\r\n"
            + QByteArray(70, 'g') + '*' + QByteArray(300, 'c') + "*!*: SAVEPLAN 1";
        const QString expected = "G hi\\x0a|C+*?!|C+*3<2!|G xy|I *>O1 SET72|C+*>O1 SET720P60 END!|"
                                 "G \\x0d\\x0a|G "
            + QString(64, 'g') + "|G gggggg|I *" + QString(255, 'c') + "|G " + QString(45, 'c')
            + "|C+*!|I *: SAVEPLAN 1";
        for (int at = 0; at <= script.size(); ++at) {
            MatrixDevice device;
            MatrixDevice::Session session;
            QVector<MatrixDevice::Outcome> all = device.feed(session, script.left(at));
            all += device.feed(session, script.mid(at));
            all += device.flush(session);
            QStringList got;
            for (const MatrixDevice::Outcome &o : all)
                got << QChar::fromLatin1("CIG"[o.kind]) + QString(o.understood ? "+" : " ")
                        + printable(o.bytes);
            QVERIFY2(got.join('|') == expected,
                     qPrintable(QString::number(at) + ": " + got.join('|')));
        }
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("script"); // its last command is judged
        QTest::addColumn<QString>("expect"); // "refused", or what it sets; no "reply=": none
        const auto row = [](const char *name, const char *script, QString expect) {
            QTest::newRow(name) << QByteArray(script)
                                << expect + (expect.contains("reply=") ? "" : " reply=");
        };
        row("device information", "*?!", "reply=info");
        row("switch, output first, leading zeros", "*03<012!", "route3=12 reply=map");
        row("switch output 16 of 16", "*16<5!", "routeLast=5 reply=map");
        row("switch output 99 of 99", "*:99 CHANGEPORTNUMBER 99!*99<5!", "routeLast=5 reply=map");
        row("switch, output 17 of 16", "*17<1!", "refused");
        row("switch from input 17 of 16", "*3<17!", "refused");
        row("switch with two '<'", "*3<4<5!", "refused");
        row("code 250 is no resolution", "*@68,250!", "refused");
        row("code with two commas", "*@68,240,1!", "refused");
        row("card command with a stray space", "*>O4  SET1080P60 END!", "refused");
        row("output mode without a code", "*>O4 OUTFOURCE END!", "O4=,OUTFOURCE");
        row("brightness 9", "*>O4 SETLD 9 END!", "refused");
        row("brightness 200", "*>O4 SETLD 200 END!", "O4.bright=200");
        row("wall, column 2 of 2", "*>O4 OUTSPLIT 2 2 2 1 END!", "O4.wall=2221");
        row("wall, column 3 of 2", "*>O4 OUTSPLIT 2 2 3 1 END!", "refused");
        row("input after OUTRES", "*>I4 OUTRES 3 END!*>I4 SET1680x1050 END!", "I4=SET1680x1050,");
        row("50 Hz on an input", "*>I4 SET1080P50 END!", "refused");
        row("EDID preset, then keyword", "*S402!*>I4 EDIDSAMSUNG END!", "I4.edid=2,0,EDIDSAMSUNG");
        row("EDID preset 04 is none", "*S404!", "refused");
        row("EDID copy, then CPEDID", "*E45!*:5 CPEDID 4!", "I4.edid=0,5,");
        row("save, switch, recall", "*3<7!*: SAVEPLAN 5!*3<1!*: CALLPLAN 5!", "route3=7 reply=map");
        row("recall a plan never saved", "*: CALLPLAN 6!", "refused");
        row("port count, outputs first", "*:72 CHANGEPORTNUMBER 9!", "ports=9x72 reply=info");
        row("port count 99x99", "*:99 CHANGEPORTNUMBER 99!", "ports=99x99 reply=info");
        row("port count 100", "*:100 CHANGEPORTNUMBER 1!", "refused");
        row("no END", "*>O4 SET1080P60!", "refused");
    }

    void commands()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, expect);
        MatrixDevice device(16, 16, 'C');
        MatrixDevice::Session session;
        const int last = script.lastIndexOf('*');
        device.feed(session, script.left(last));
        const MatrixDevice::State before = device.state();
        const MatrixDevice::Outcome o = device.handleCommand(script.mid(last));
        QVERIFY2(o.understood || device.state() == before, qPrintable(o.description));
        const QStringList words = seen(device, o);
        for (const QString &word : expect.split(' '))
            QVERIFY2(words.contains(word), qPrintable(o.description + ": " + words.join(' ')));
    }

    // Every setting the console can send both as a code and as a card command,
    // built by its own builders from its vocabulary tables: the two must leave
    // the card alike, so a code the model reads wrong fails here even though it
    // is "understood".
    void codeAndCardCommandsAgree_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("card");
        const auto add = [](const commands::CommandPlan &plan) {
            QByteArray code, card;
            for (const QByteArray &command : plan.commands)
                (command.startsWith("*@") ? code : card) = command;
            if (!code.isEmpty())
                QTest::newRow((code + " = " + card).constData()) << code << card;
        };
        using namespace commands;
        for (const QString port : {"1", "16"}) {
            for (int i = 0; i < int(std::size(outputResolutions)); ++i)
                add(outputResolution(port, i));
            for (int i = 0; i < int(std::size(outputModes)); ++i)
                add(outputMode(port, i));
            for (const OutputImageButtonRow &b : outputImageButtons)
                add(outputImageButton(port, b.button));
            for (int i = 0; i < int(std::size(inputSources)); ++i)
                add(inputSource(port, i));
        }
    }

    void codeAndCardCommandsAgree()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, card);
        MatrixDevice byCode, byCard;
        const MatrixDevice::Outcome c = byCode.handleCommand(code), k = byCard.handleCommand(card);
        QVERIFY2(c.understood && k.understood && byCard.state() != MatrixDevice().state()
                     && byCode.state() == byCard.state(),
                 qPrintable(c.description + " / " + k.description));
    }

    // Past its limit the history drops an eighth of it at once. Dropping the
    // oldest record for each new one moved all the others every time, and a
    // flood of 100,000 commands stalled.
    void historyIsTrimmedInBatches()
    {
        MatrixDevice device;
        device.setRecordLimit(80);
        for (int i = 1; i <= 91; ++i) {
            device.handleCommand('*' + QByteArray::number(i) + "<1!"); // refused ones are kept too
            QCOMPARE(device.records().size(), i <= 90 ? i : 80);
        }
        QCOMPARE(device.records().first().bytes, QByteArray("*12<1!")); // the oldest went
    }

    // Each connection gets its own answers and its own count to close after, two at
    // most waiting: a newer one pushes out the oldest waiting one of its kind, or of
    // any kind when none is. A switch reaches the others unasked, an answer only the
    // asker. The commands come in orders where each of these shows when broken.
    void connectionsGetTheirOwnAnswersAndHearChanges()
    {
        SimServer::Options options;
        options.port = 0;
        options.closeAfterCommands = 5;
        options.tcpReplyGapMs = 200; // each one's commands all come within one gap
        SimServer server(options);
        QVERIFY(server.listenTcp());
        Client a(server.tcpPort()), b(server.tcpPort()), listener(server.tcpPort());
        QVERIFY(a.connected && b.connected && listener.connected);
        MatrixDevice model;
        const QByteArray b5 = model.handleCommand("*5<1!").reply, info = model.infoReply();
        b.socket.write("*5<1!*?!*?!*?!*?!"); // idle: an answer sent back to it too would show
        QTRY_COMPARE(b.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(b.received, b5 + info + info);
        a.socket.write("*!*1<2!*?!*2<3!*3<4!*4<5!"); // the listener is idle for its first
        QTRY_COMPARE(a.socket.state(), QAbstractSocket::UnconnectedState);
        QList<QByteArray> maps;
        for (const char *command : {"*1<2!", "*2<3!", "*3<4!"})
            maps << model.handleCommand(command).reply;
        QCOMPARE(a.received, b5 + b5 + info + maps[2]);
        QCOMPARE(server.device().routing(), model.routing()); // a's sixth never reached it
        QTRY_COMPARE(listener.received, b5 + maps[0] + maps[1] + maps[2]);
    }

    // A garbage burst on every command (--garbage 1:MODE) and what a client asks first: both
    // answers come, behind the noise; a burst waiting to go must not push an answer out.
    void garbageLeavesTheAnswersTheirPlace_data()
    {
        QTest::addColumn<int>("mode"); // a SimServer::GarbageMode
        QTest::newRow("before: burst, information, map") << int(SimServer::GarbageMode::Before);
        QTest::newRow("prefix: each answer behind its burst")
            << int(SimServer::GarbageMode::Prefix);
    }
    void garbageLeavesTheAnswersTheirPlace()
    {
        QFETCH(int, mode);
        SimServer::Options options;
        options.port = 0;
        options.garbageEvery = 1;
        options.garbageMode = SimServer::GarbageMode(mode);
        options.closeAfterCommands = 2; // the end of the connection marks the end of the replies
        SimServer server(options);
        QVERIFY(server.listenTcp());
        Client client(server.tcpPort());
        client.socket.write("*?!*!");
        QTRY_COMPARE_WITH_TIMEOUT(client.socket.state(), QAbstractSocket::UnconnectedState, 5000);
        MatrixDevice model;
        const QByteArray &got = client.received, info = model.infoReply();
        const int at = got.indexOf(info), after = at + info.size();
        QVERIFY2(at >= options.garbageBytes, qPrintable(printable(got)));
        QVERIFY2(got.indexOf(model.handleCommand("*!").reply, after) >= after,
                 qPrintable(printable(got)));
    }

    void floodsLeaveQuestionsAnswered_data()
    {
        QTest::addColumn<QByteArray>("flood");
        QTest::addColumn<int>("understood");
        QTest::newRow("10 MB without '!'") << junk.repeated(34000) << 0;
        // Every switch is answered with a routing map: far more than can leave.
        const QByteArray ten
            = "*1<2!*>O1 SETLD 100 END!*3<4!*@68,240!*16<7!*!*5<1!*>O4 BOGUS END!*S402!*2<9!";
        QTest::newRow("100,000 commands") << ten.repeated(10000) << 90000; // all but BOGUS
    }

    // A flood on one connection leaves the others their turn, and a question asked
    // after it is answered soon, not after a reply to every command in it.
    void floodsLeaveQuestionsAnswered()
    {
        QFETCH(QByteArray, flood);
        QFETCH(int, understood);
        SimServer::Options options;
        options.port = 0;
        SimServer server(options);
        QVERIFY(server.listenTcp());
        Client flooder(server.tcpPort()), bystander(server.tcpPort());
        QVERIFY(flooder.connected && bystander.connected);
        const QByteArray info = server.device().infoReply();
        const QString bystanderLink = ':' + QString::number(bystander.socket.localPort());
        int flooded = 0, floodedWhenAnswered = -1, floodUnderstood = 0, run = 0, longest = 0;
        QElapsedTimer sinceHandled, sinceFloodEnded;
        QTimer turn; // timers' turn ends a run: at most two digest turns come in between
        connect(&turn, &QTimer::timeout, [&] { run = 0; });
        turn.start(0);
        connect(&server, &SimServer::commandHandled, this,
                [&](const QString &link, const QByteArray &bytes, bool understood) {
                    if (link.endsWith(bystanderLink))
                        return void(floodedWhenAnswered = flooded);
                    ++flooded;
                    longest = std::max(longest, ++run);
                    floodUnderstood += understood && bytes != "*?!";
                    if (bytes == "*?!")
                        sinceHandled.start();
                });
        flooder.socket.write(flood);
        QVERIFY(waitFor([&] { return flooded > 5000; }, 20000));
        const int floodedWhenAsked = flooded;
        bystander.socket.write("*?!");
        // The flood's switches reach the bystander too; its answer must not wait behind them.
        QVERIFY2(
            waitFor([&] { return bystander.received.contains(info); }, 20000)
                && floodedWhenAnswered - floodedWhenAsked <= 20 * SimLink::maxOutcomesPerTurn,
            qPrintable(QString::number(floodedWhenAnswered - floodedWhenAsked) + " came first"));
        QVERIFY(waitFor([&] { return flooder.socket.bytesToWrite() == 0; }, 30000));
        sinceFloodEnded.start();
        flooder.socket.write("*?!");
        QVERIFY(waitFor([&] { return flooder.received.endsWith(info); }, 30000));
        // The bounds allow for a loaded machine and sanitizers; it once took minutes.
        QVERIFY2(sinceHandled.elapsed() < 1000 && sinceFloodEnded.elapsed() < 10000,
                 qPrintable(QString::number(sinceFloodEnded.elapsed()) + " ms after the flood, "
                            + QString::number(sinceHandled.elapsed()) + " after the question"));
        const int kept = server.device().records().size(), limit = server.device().recordLimit();
        QVERIFY2(kept >= limit && kept <= limit + limit / 8, qPrintable(QString::number(kept)));
        QCOMPARE(floodUnderstood, understood); // not one lost
        QVERIFY2(longest <= 3 * SimLink::maxOutcomesPerTurn, qPrintable(QString::number(longest)));
    }

    // Out of file descriptors, matrix-sim waits and tries again instead of spinning or
    // giving up: clients it could not take are served once others hang up.
    void clientsWaitingForDescriptorsAreServedLater()
    {
        QProcess sim;
        const quint16 port = startSim(sim, {}, 32);
        QVERIFY(port);
        const QByteArray info = MatrixDevice().infoReply();
        std::vector<std::unique_ptr<Client>> clients;
        const auto ask = [&](int count) {
            for (int i = 0; i < count; ++i)
                clients.emplace_back(new Client(port))->socket.write("*?!");
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
        // A first client comes and goes while descriptors are plentiful: a listener that
        // has once found no one waiting must still tell a failure from "try again", and
        // the sanitizers make their first checks, which need a descriptor of their own.
        ask(1);
        QVERIFY(waitFor([&] { return answered() == 1; }, 5000));
        clients.clear();
        ask(1);
        QVERIFY(waitFor([&] { return answered() == 1; }, 5000));
        ask(39);
        QByteArray log;
        const auto outOfDescriptors = [&] {
            return (log += sim.readAllStandardError()).contains("cannot accept a connection");
        };
        QVERIFY2(waitFor(outOfDescriptors, 10000), qPrintable(log.right(200)));
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
        QTest::newRow("SIGTERM in a flood") << QStringList {"--quiet"} << int(SIGTERM) << 0 << "";
        QTest::newRow("SIGINT in a flood") << QStringList {"--quiet"} << int(SIGINT) << 0 << "";
        QTest::newRow("help") << QStringList {"--help"} << 0 << 0 << "[LINK]";
        QTest::newRow("version") << QStringList {"--version"} << 0 << 0
                                 << "matrix-sim " MATRIX_PROJECT_VERSION "\n";
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
        const std::unique_ptr<Client> flooder(signal ? new Client(port) : nullptr);
        if (flooder) {
            flooder->socket.write("*?!" + junk.repeated(55000));
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

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
