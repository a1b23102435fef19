// matrix-ctl as a script runs it: the real executable against the in-process
// simulator (over TCP and its pty) or a scripted device on loopback. The
// expected command lines come from the builders, not from this file.

#include "commands/builders.h"
#include "sim/simserver.h"

#include <QtNetwork>
#include <QtTest>

using namespace commands;
using Lines = QList<QByteArray>;

namespace {

const auto waitFor = [](auto done) { return QTest::qWaitFor(done, 20000); };
template<typename... T> void columns(std::initializer_list<const char *> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}
const auto words = [](const char *line) { return QString::fromUtf8(line).split(' '); };
const auto tcpTo = [](quint16 port) {
    return QStringList {"--tcp", "127.0.0.1:" + QString::number(port)};
};
const QByteArray info4x4 = "A:\004HDMIx04-04-SIM0";

// matrix-ctl running beside the test while the event loop turns (so that an
// in-process device can answer it), its stdout collected as it comes.
struct Ctl
{
    explicit Ctl(const QStringList &arguments)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        process.start(QStringLiteral(MATRIX_CTL_EXECUTABLE), arguments);
    }
    bool lines(int n)
    {
        return waitFor([&] { return out.count('\n') >= n; });
    }
    bool finished()
    {
        const bool ended = waitFor([&] { return process.state() == QProcess::NotRunning; });
        out += process.readAllStandardOutput();
        err = QString::fromUtf8(process.readAllStandardError());
        exitCode = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return ended;
    }
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
    QProcess process;
    QByteArray out;
    QString err;
    int exitCode = -1;
};

#define RUN(run, ...)                                                                              \
    Ctl run(__VA_ARGS__);                                                                          \
    QVERIFY2(run.finished(), run.out.constData())

// The simulator, with every command it has framed (and every stray byte
// run) recorded in order.
struct Sim
{
    explicit Sim(int inputs = 16, int outputs = 16, int fragmentGapMs = 0)
    {
        SimServer::Options o;
        o.port = 0;
        o.ptyReplyGapMs = 100; // quick, but paced longer than the client's quiet gap
        o.fragmentBytes = fragmentGapMs ? 8 : 0;
        o.fragmentGapMs = fragmentGapMs;
        server.setOptions(o);
        server.device().setPortCounts(inputs, outputs);
        QObject::connect(&server, &SimServer::commandHandled,
                         [this](const QString &, const QByteArray &bytes) { commands << bytes; });
        QObject::connect(&server, &SimServer::linkOpened, [this] { ++links; });
        server.listenTcp();
    }
    // No link at all when the pty cannot be opened: matrix-ctl then fails loudly.
    QStringList link(bool pty = false)
    {
        if (!pty)
            return tcpTo(server.tcpPort());
        return server.openPty() ? QStringList {"--serial", server.ptySlavePath()} : QStringList();
    }
    SimServer server;
    Lines commands;
    int links = 0;
};

// A device on loopback that answers the first bytes it gets with a script,
// and then hangs up if asked to.
struct ScriptedDevice : QTcpServer
{
    ScriptedDevice(const QByteArray &reply, bool hangUp)
    {
        connect(this, &QTcpServer::newConnection, [=] {
            client = nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, [=] {
                if (received.isEmpty() && client->write(reply) >= 0 && hangUp)
                    client->disconnectFromHost();
                received += client->readAll();
            });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QPointer<QTcpSocket> client;
    QByteArray received;
};

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void commandLinesOnTheWire_data()
    {
        columns<QStringList, Lines>({"arguments", "expected"});
        const QByteArray refresh = refreshCommand(), query = queryCommand();
        // Named by the command line; "pty: " runs it over the simulator's pty.
        auto row = [](const char *line, const Lines &expected) {
            QTest::newRow(line) << words(line) << expected;
        };
        // Items by their number in the list, or by their text in any case.
        row("output-resolution 4 13", outputResolution("4", 12).commands);
        row("output-resolution 4 1080p", outputResolution("4", 0).commands);
        row("input-resolution 72 9", inputResolution("72", 8).commands);
        row("output-mode 04 ycbcr", outputMode("04", 2).commands);
        row("output-mode 04 等比例模式", outputMode("04", 4).commands);
        row("input-source 4 hdmi", inputSource("4", 1).commands);
        row("edid 4 8", edid("4", 7, "").commands);
        row("edid 4 hdmi-4k2k", edid("4", 4, "").commands); // the text after its number
        row("edid 12 1 3", edid("12", 0, "3").commands);
        row("info", {refresh, query});
        row("routes", {refresh, query});
        row("route 03 5 10 2",
            {refresh, switchCommand("3", "5"), switchCommand("10", "2"), refresh});
        row("save-plan 5", plan(PlanAction::Save, "5").commands);
        row("recall-plan 5",
            Lines {refresh} + plan(PlanAction::Recall, "5").commands + Lines {refresh});
        row("output-brightness 4 080", outputBrightness("4", "080").commands);
        row("input-brightness 9 200", inputBrightness("9", "200").commands);
        row("output-seamless 4 on", outputImageButton("4", OutputImageButton::Seamless).commands);
        row("output-seamless 4 OFF",
            outputImageButton("4", OutputImageButton::NotSeamless).commands);
        row("output-drive 4 on", outputImageButton("4", OutputImageButton::DriveOn).commands);
        row("output-drive 4 off", outputImageButton("4", OutputImageButton::DriveOff).commands);
        row("output-drive 4 default",
            outputImageButton("4", OutputImageButton::DriveDefault).commands);
        row("wall 4 2 2 2 1", wallSplit("4", "2", "2", "2", "1").commands);
        row("port-count 12 8", portCount("12", "8").commands);
        QTest::newRow("send, as typed") << QStringList {"send", "*>O1 SETLD 100 END!"}
                                        << freeCommand("*>O1 SETLD 100 END!").commands;
        row("pty: info", {refresh, query});
        row("pty: route 2 7", {refresh, switchCommand("2", "7"), refresh});
        row("pty: edid 4 1 5", edid("4", 0, "5").commands);
    }
    void commandLinesOnTheWire()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Lines, expected);
        Sim sim;
        sim.server.device().handleCommand(plan(PlanAction::Save, "5").commands.constFirst());
        const bool pty = arguments.first() == "pty:";
        RUN(run, sim.link(pty) + arguments.mid(pty));
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QTRY_COMPARE(sim.commands, expected);
    }

    void serialQuietGapFollowsBaud_data()
    {
        columns<QString, bool>({"baud", "whole"});
        // The simulator writes the information in pieces 200 ms apart; JSON shows what was read.
        QTest::newRow("50 baud: waits 800 ms, the information is read whole") << "50" << true;
        QTest::newRow("9600 baud: waits 50 ms, the pause cuts it") << "9600" << false;
    }
    void serialQuietGapFollowsBaud()
    {
        QFETCH(QString, baud);
        QFETCH(bool, whole);
        Sim sim(4, 8, 200);
        RUN(run, sim.link(true) + QStringList {"--baud", baud, "--json", "info"});
        QJsonObject info
            = QJsonDocument::fromJson(R"({"command": "info", "device": "A", )"
                                      R"("inputs": 4, "outputs": 8, "ok": true, "exitCode": 0})")
                  .object();
        info.insert("model", QString(sim.server.device().modelText()));
        QVERIFY2((run.json() == info) == whole, run.out.constData());
    }

    void snapshotRestoreRoundTrip_data()
    {
        columns<int, bool>({"ports", "pty"});
        QTest::newRow("16 x 16 over the pty") << 16 << true;
        QTest::newRow("99 x 99 over TCP") << 99 << false;
    }
    void snapshotRestoreRoundTrip()
    {
        QFETCH(int, ports);
        QFETCH(bool, pty);
        Sim sim(ports, ports);
        MatrixDevice &device = sim.server.device();
        for (int output = 1; output <= ports; ++output)
            device.setRoute(output, (output * 7) % ports + 1);
        const QVector<int> original = device.routing();
        const QStringList link = sim.link(pty) + QStringList {"--json"};
        const QString file = m_dir.filePath("rack.json");
        RUN(snapshot, link + QStringList {"snapshot", file});
        QVERIFY2(snapshot.exitCode == 0, qPrintable(snapshot.err));
        QCOMPARE(snapshot.json().value("routes").toArray().size(), ports);

        int changed = 0;
        for (int output = 1; output <= ports; output += 3, ++changed)
            device.setRoute(output, original[output - 1] % ports + 1);
        sim.commands.clear();
        RUN(restore, link + QStringList {"restore", file});
        QVERIFY2(restore.exitCode == 0, qPrintable(restore.err));
        QCOMPARE(restore.json().value("switched").toInt(), changed);
        QCOMPARE(device.routing(), original);
        QCOMPARE(sim.commands.size(), 2 + changed + 1); // asked for the map, switched, probed
        RUN(again, link + QStringList {"restore", file});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.json().value("switched").toInt(), 0);
    }

    void refusedOrNotTaken_data()
    {
        columns<QStringList, int, QString, QByteArray, Lines>(
            {"arguments", "exitCode", "message", "file", "sent"});
        auto row = [](const char *name, const QStringList &arguments, const QString &message,
                      const QByteArray &file = {}, const Lines &sent = {}, int exitCode = 2) {
            QTest::newRow(name) << arguments << exitCode << message << file << sent;
        };
        auto refused = [](const std::optional<Refusal> &r) {
            return r ? describeRefusal(*r) : QString("(not refused)");
        };
        // Refused numbers and bad arguments: exit 2, not even a connection.
        row("route: output 100", words("route 100 1"),
            refused(checkNumber(NumberTest::RoutePort, Field::OutputPort, "100")));
        row("route: input +5", words("route 1 +5"),
            refused(checkNumber(NumberTest::RoutePort, Field::InputPort, "+5")));
        row("setting: port 73", words("output-resolution 73 1080P"),
            refused(outputResolution("73", 0).refusal));
        row("recall plan 0", words("recall-plan 0"),
            refused(plan(PlanAction::Recall, "0").refusal));
        row("EDID copy without a monitor", words("edid 4 1"), refused(edid("4", 0, "").refusal));
        row("monitor with a preset", words("edid 4 2 5"), "goes only with mode 1");
        row("unknown mode", words("output-mode 4 bogus"), "'bogus' is no output mode");
        row("item number past the list", words("input-source 4 5"), "'5' is no input source");
        row("wall size 17", words("wall 4 17 1 1 1"), "is not one of the wall sizes");
        row("seamless maybe", words("output-seamless 4 maybe"), "'maybe' is not on, off");
        row("output without input", words("route 1 2 3"), "OUTPUT '3' has no INPUT");
        row("unknown command", {"reboot"}, "unknown command 'reboot'\nTry 'matrix-ctl --help'.");
        row("unknown option", words("--verbose info"), "unknown option '--verbose'");
        row("extra argument", words("info now"), "unexpected argument 'now'");
        row("count without watch", words("--count 2 info"), "--count and --poll belong to watch");
        row("two links", words("--serial /dev/null info"), "--tcp and --serial exclude each other");
        row("empty free command", {"send", ""}, "TEXT is empty");
        // Restore asks the device for its counts, and sends nothing more when they differ.
        row("restore: from a device with other counts", words("restore FILE"),
            "FILE was taken from a device with 1 inputs and 1 outputs (B, M); this one has 16 "
            "inputs and 16 outputs: nothing sent",
            R"({"format": "matrix-ctl snapshot", "device": "B", "model": "M", "inputs": 1, )"
            R"("outputs": 1, "routes": [{"output": 1, "input": 1}]})",
            {refreshCommand(), queryCommand()});
        row("restore: an output twice", words("restore FILE"),
            "is not an output from 1 to 2 (once)",
            R"({"format": "matrix-ctl snapshot", "inputs": 2, "outputs": 2, "routes": )"
            R"([{"output": 1, "input": 1}, {"output": 1, "input": 1}]})");
        row("restore: not a snapshot", words("restore FILE"), "FILE is not a matrix-ctl snapshot",
            R"({"routes": []})");
        row("restore: not JSON", words("restore FILE"), "is not a matrix-ctl snapshot (",
            "output 1 <- input 2");
        // Routes the simulator does not take: exit 1. When it answered no switch, route asks
        // for the map.
        const QByteArray refresh = refreshCommand(), query = queryCommand();
        row("route: output above the count", words("route 17 1"), "output 17 does not exist", {},
            {refresh, switchCommand("17", "1"), refresh, query}, 1);
        row("route: input above the count", words("route 3 17"), "output 3 is on input 3, not 17",
            {}, {refresh, switchCommand("3", "17"), refresh, query}, 1);
        row("route: one of two taken", words("route 1 2 16 99"),
            "did not take 1 of 2 routes: output 16 is on input 16, not 99", {},
            {refresh, switchCommand("1", "2"), switchCommand("16", "99"), refresh}, 1);
    }
    void refusedOrNotTaken()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(QByteArray, file);
        QFETCH(Lines, sent);
        QFile out(m_dir.filePath("refused.json"));
        QVERIFY(file.isEmpty() || (out.open(QIODevice::WriteOnly) && out.write(file) > 0));
        out.close();
        arguments.replaceInStrings("FILE", out.fileName());
        message.replace("FILE", out.fileName());
        Sim sim;
        RUN(run, sim.link() + QStringList {"--json"} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.startsWith("matrix-ctl: ") && run.err.contains(message),
                 qPrintable(run.err));
        QCOMPARE(run.json().value("error").toString(),
                 run.err.section("matrix-ctl: ", 1).section('\n', 0, 0));
        QCOMPARE(run.json().value("exitCode").toInt(), exitCode);
        QTRY_COMPARE(sim.commands, sent);
        QCOMPARE(sim.links, int(!sent.isEmpty()));
    }

    void linkAndDeviceFailures_data()
    {
        columns<QStringList, QByteArray, bool, QString>(
            {"arguments", "reply", "hangUp", "message"});
        auto row = [](const char *name, const char *arguments, const QByteArray &reply, bool hangUp,
                      const char *message) { // %1: the device's address
            QTest::newRow(name) << words(arguments) << reply << hangUp << message;
        };
        row("refused connection", "info", {}, false, "cannot connect to %1: Connection refused");
        row("never answers", "--timeout 300 info", {}, false,
            "no device information from %1 within 300 ms");
        row("hangs up without a word", "info", {}, true, "the device closed the connection");
        row("hangs up in the middle of a map", "routes", info4x4 + "A:0102", true,
            "the device closed the connection in the middle of a reply (6 bytes: A:0102)");
        row("garbage instead of a reply", "--timeout 300 info", "\x01\x02 garbage", false,
            "no device information from %1 within 300 ms; it sent 10 bytes that are no reply: "
            "\\x01\\x02 garbage");
        row("unusable counts", "info", "A:\004HDMIx00-04-SIM0", false,
            "the device reported unusable port counts (0 inputs, 4 outputs)");
        row("no such serial line", "--serial /dev/no-such-tty info", {}, false,
            "cannot open the serial line /dev/no-such-tty: ");
    }
    void linkAndDeviceFailures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reply);
        QFETCH(bool, hangUp);
        QFETCH(QString, message);
        ScriptedDevice device(reply, hangUp);
        const QStringList link
            = arguments.contains("--serial") ? QStringList() : tcpTo(device.serverPort());
        if (QByteArray(QTest::currentDataTag()) == "refused connection")
            device.close(); // nobody listens on the port any more
        RUN(run, link + QStringList {"--json"} + arguments);
        QCOMPARE(run.exitCode, 1);
        message.replace("%1", link.value(1));
        QVERIFY2(run.err.contains("matrix-ctl: " + message), qPrintable(run.err));
        QVERIFY2(run.json().value("error").toString().contains(message), run.out.constData());
        QCOMPARE(run.json().value("exitCode").toInt(), 1);
    }

    void routesListAndHelpOutput()
    {
        Sim sim(8, 12);
        sim.server.device().setRoute(12, 5);
        RUN(routes, sim.link() + words("--json routes"));
        const QJsonArray list = routes.json().value("routes").toArray();
        QCOMPARE(list.size(), 12);
        QCOMPARE(list.at(11).toObject(), (QJsonObject {{"output", 12}, {"input", 5}}));
        RUN(text, sim.link() + words("routes"));
        QVERIFY2(text.out.endsWith("output 12 \u2190 input 5\n"), text.out.constData());
        RUN(listed, words("list edid --json"));
        const QJsonArray edidItems = listed.json().value("edid").toArray();
        QCOMPARE(edidItems.size(), int(std::size(edidModes)));
        QCOMPARE(edidItems.at(7).toObject(),
                 (QJsonObject {{"number", 8}, {"item", QString::fromUtf8(edidModes[7].item)}}));
        RUN(help, {"--help"});
        QCOMPARE(help.exitCode, 0);
        for (const char *part : {"Usage: matrix-ctl", "route OUTPUT INPUT", "watch [--count N]",
                                 "restore FILE", "Examples:", "Exit status:"})
            QVERIFY2(help.out.contains(part), part);
    }

    void watchSeesAnotherClientsRoute_data()
    {
        columns<QString, int>({"options", "replies"}); // the information watch asked for first
        QTest::newRow("told by the device") << "--count 2" << 2;
        QTest::newRow("polling: the first map, then the changed one") << "--count 3 --poll 50" << 3;
    }
    void watchSeesAnotherClientsRoute()
    {
        QFETCH(QString, options);
        QFETCH(int, replies);
        Sim sim;
        Ctl watch(sim.link() + QStringList {"--json", "watch"} + options.split(' '));
        QVERIFY2(watch.lines(replies - 1), watch.out.constData());
        RUN(route, sim.link() + words("route 5 9"));
        QCOMPARE(route.exitCode, 0);
        QVERIFY2(watch.finished() && watch.exitCode == 0, watch.out.constData());
        const QList<QByteArray> seen = watch.out.trimmed().split('\n');
        QCOMPARE(seen.size(), replies);
        auto inputOf5 = [&](int line) {
            return QJsonDocument::fromJson(seen[line])["routes"].toArray().at(4)["input"].toInt();
        };
        QCOMPARE(QJsonDocument::fromJson(seen[0])["reply"].toString(), "information");
        QCOMPARE(inputOf5(replies - 1), 9);
        if (replies == 3)
            QCOMPARE(inputOf5(1), 5);
    }

    void watchPrintsWhatArrivesUntilTerminated()
    {
        ScriptedDevice device(info4x4, false);
        Ctl watch(tcpTo(device.serverPort()) + QStringList {"watch"});
        QVERIFY2(watch.lines(1), watch.out.constData());
        device.client->write("\x7f\x01xA:03010204"); // noise, then another operator's switch
        QVERIFY2(watch.lines(3), watch.out.constData());
        watch.process.terminate(); // SIGTERM
        QVERIFY2(watch.finished() && watch.exitCode == 0, qPrintable(watch.err));
        QCOMPARE(device.received, refreshCommand());
        QCOMPARE(
            QString::fromUtf8(watch.out).split('\n'),
            (QStringList {"device A, model HDMIx04-04-SIM0, 4 inputs, 4 outputs",
                          "unrecognised 3 bytes: \\x7f\\x01x",
                          "routes (output\u2190input): 1\u21903 2\u21901 3\u21902 4\u21904", ""}));
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
