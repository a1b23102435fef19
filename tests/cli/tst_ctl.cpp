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

const auto waitFor = [](auto done, int ms = 20000) { return QTest::qWaitFor(done, ms); };
template<typename... T> void columns(std::initializer_list<const char *> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}
const auto words = [](const char *line) { return QString::fromUtf8(line).split(' '); };
const auto tcpTo = [](quint16 port) {
    return QStringList {"--tcp", "127.0.0.1:" + QString::number(port)};
};

// matrix-ctl running beside the test while the event loop turns (so that an
// in-process device can answer it), its stdout collected as it comes.
struct Ctl : QProcess
{
    explicit Ctl(const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { out += readAllStandardOutput(); });
        start(QStringLiteral(MATRIX_CTL_EXECUTABLE), arguments);
    }
    bool finished() // and exited, not crashed
    {
        const bool ended = waitFor([&] { return state() == QProcess::NotRunning; });
        out += readAllStandardOutput();
        err = QString::fromUtf8(readAllStandardError())
            + (error() == FailedToStart ? errorString() : "");
        return ended && exitStatus() == QProcess::NormalExit;
    }
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
    QByteArray out;
    QString err;
};

#define RUN(run, ...)                                                                              \
    Ctl run(__VA_ARGS__);                                                                          \
    QVERIFY2(run.finished(), qPrintable(run.err))

// The simulator, with every command it has framed (and every stray byte
// run) recorded in order.
struct Sim
{
    explicit Sim(int inputs = 16, int outputs = 16, int fragmentGapMs = 0, bool noise = false)
    {
        SimServer::Options o;
        o.port = 0;
        o.ptyReplyGapMs = 100; // quick, but paced longer than the client's quiet gap
        o.fragmentBytes = fragmentGapMs ? 8 : 0;
        o.fragmentGapMs = fragmentGapMs;
        o.garbageEvery = noise ? 1 : 0; // random bytes ahead of every reply
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
            QTcpSocket *client = nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, [=] {
                if (!client->readAll().isEmpty() && !std::exchange(replied, true)
                    && client->write(reply) >= 0 && hangUp)
                    client->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    bool replied = false;
};

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void commandLinesOnTheWire_data()
    {
        columns<QStringList, Lines, QStringList>({"arguments", "expected", "shown"});
        const QByteArray refresh = refreshCommand(), query = queryCommand();
        // Named by the command line; "pty:" runs it over the simulator's pty, "pieces:" too, with
        // replies written in pieces 200 ms apart: at 50 baud a reply ends after 800 ms of quiet.
        auto row = [](const char *line, const Lines &expected, const QStringList &shown = {}) {
            QTest::newRow(line) << words(line) << expected << shown;
        };
        using B = OutputImageButton;
        // Items by their number in the list, or by their text in any case.
        row("output-resolution 4 13", outputResolution("4", 12).commands);
        row("output-resolution 4 1080p", outputResolution("4", 0).commands);
        row("input-resolution 72 9", inputResolution("72", 8).commands);
        row("output-mode 04 ycbcr", outputMode("04", 2).commands);
        row("output-mode 04 等比例模式", outputMode("04", 4).commands);
        row("input-source 4 hdmi", inputSource("4", 1).commands);
        row("edid 4 8", edid("4", 7, "").commands);
        row("edid 4 hdmi-4k2k", edid("4", 4, "").commands); // the text after its number
        row("info", {refresh, query}, {"inputs  16\noutputs 12\n"});
        row("routes", {refresh, query}, {"output 12 \u2190 input 5\n"});
        row("watch --count 1", {refresh},
            {"device A, model HDMIx16-12-SIM0, 16 inputs, 12 outputs\n"});
        row("list edid", {},
            {QStringLiteral(" 8  %1\n").arg(QString::fromUtf8(edidModes[7].item))});
        row("--help", {},
            {"Usage: matrix-ctl", "route OUTPUT INPUT", "watch [--count N]", "restore FILE",
             "Examples:", "Exit status:"});
        row("route 03 5 10 2",
            {refresh, switchCommand("3", "5"), switchCommand("10", "2"), refresh});
        row("save-plan 5", plan(PlanAction::Save, "5").commands);
        row("recall-plan 5",
            Lines {refresh} + plan(PlanAction::Recall, "5").commands + Lines {refresh});
        row("output-brightness 4 080", outputBrightness("4", "080").commands);
        row("input-brightness 9 200", inputBrightness("9", "200").commands);
        row("output-seamless 4 on", outputImageButton("4", B::Seamless).commands);
        row("output-seamless 4 OFF", outputImageButton("4", B::NotSeamless).commands);
        row("output-drive 4 on", outputImageButton("4", B::DriveOn).commands);
        row("output-drive 4 off", outputImageButton("4", B::DriveOff).commands);
        row("output-drive 4 default", outputImageButton("4", B::DriveDefault).commands);
        row("wall 4 2 2 2 1", wallSplit("4", "2", "2", "2", "1").commands);
        row("port-count 12 8", portCount("12", "8").commands);
        const QString typed = "*>O1 SETLD 100 END!";
        QTest::newRow("send, as typed")
            << QStringList {"send", typed} << freeCommand(typed).commands
            << QStringList {"sent " + typed};
        row("pty: --json info", {refresh, query}, {R"("inputs": 16,)", R"("outputs": 12)"});
        row("pieces: --baud 50 info", {refresh, query}, {"model   HDMIx16-12-SIM0\n"});
        row("pty: route 2 7", {refresh, switchCommand("2", "7"), refresh});
        row("pty: edid 4 1 5", edid("4", 0, "5").commands);
    }
    void commandLinesOnTheWire()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Lines, expected);
        QFETCH(QStringList, shown); // on stdout
        const bool pty = arguments.first().endsWith(':');
        Sim sim(16, 12, arguments.first() == "pieces:" ? 200 : 0);
        sim.server.device().setRoute(12, 5);
        sim.server.device().handleCommand(plan(PlanAction::Save, "5").commands.constFirst());
        RUN(run, sim.link(pty) + arguments.mid(pty));
        QVERIFY2(run.exitCode() == 0, qPrintable(QString::number(run.exitCode()) + ": " + run.err));
        waitFor([&] { return sim.commands.size() >= expected.size(); }, 1000); // sent: in by now
        QCOMPARE(sim.commands, expected);
        for (const QString &text : shown)
            QVERIFY2(run.out.contains(text.toUtf8()), run.out.constData());
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
        QVERIFY2(snapshot.exitCode() == 0 && snapshot.json()["routes"].toArray().size() == ports,
                 qPrintable(snapshot.err));

        int changed = 0;
        for (int output = 1; output <= ports; output += 3, ++changed)
            device.setRoute(output, original[output - 1] % ports + 1);
        sim.commands.clear();
        RUN(restore, link + QStringList {"restore", file});
        QVERIFY2(restore.exitCode() == 0 && restore.json()["switched"] == changed,
                 qPrintable(restore.err));
        QCOMPARE(device.routing(), original);
        QCOMPARE(sim.commands.size(), 2 + changed + 1); // asked for the map, switched, probed
    }

    // How a call fails: its exit code, its message on stderr and in the JSON document, and the
    // commands the simulator got. Rows named "device: ..." talk to a scripted device instead,
    // which answers with BYTES (and then hangs up, if the name says so); rows for restore have
    // BYTES as their FILE. ADDRESS: the link's address.
    void failures_data()
    {
        columns<QStringList, QString, int, QByteArray, Lines>(
            {"arguments", "message", "exitCode", "bytes", "sent"});
        auto row = [](const char *name, const QStringList &arguments, const QString &message,
                      int exitCode = 2, const QByteArray &bytes = {}, const Lines &sent = {}) {
            QTest::newRow(name) << arguments << message << exitCode << bytes << sent;
        };
        auto snapshot = [](const char *route) {
            return QByteArray(R"({"format": "matrix-ctl snapshot", "device": "B", "model": "M", )"
                              R"("inputs": 1, "outputs": 1, "routes": [)")
                + route + "]}";
        };
        const QByteArray refresh = refreshCommand(), query = queryCommand();
        // Refused numbers and bad arguments: not even a connection.
        row("route: output 100", words("route 100 1"),
            describeRefusal(checkNumber(NumberTest::RoutePort, Field::OutputPort, "100").value()));
        row("route: input +5", words("route 1 +5"),
            describeRefusal(checkNumber(NumberTest::RoutePort, Field::InputPort, "+5").value()));
        row("setting: port 73", words("output-resolution 73 1080P"),
            describeRefusal(outputResolution("73", 0).refusal.value()));
        row("recall plan 0", words("recall-plan 0"),
            describeRefusal(plan(PlanAction::Recall, "0").refusal.value()));
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
        row("two links", words("info --serial /dev/null"), "--tcp and --serial exclude each other");
        row("empty free command", {"send", ""}, "TEXT is empty");
        // Restore asks for the counts, and sends nothing more when they differ.
        row("restore: from a device with other counts", words("restore FILE"),
            "FILE was taken from a device with 1 inputs and 1 outputs (B, M); this one has 16 "
            "inputs and 16 outputs: nothing sent",
            2, snapshot(R"({"output": 1, "input": 1})"), {refresh, query});
        row("restore: an output not on its device", words("restore FILE"),
            "is not an output from 1 to 1 (once)", 2, snapshot(R"({"output": 2, "input": 1})"));
        row("restore: not JSON", words("restore FILE"), "is not a matrix-ctl snapshot (", 2,
            "output 1 <- input 2");
        // Routes the simulator does not take. Once the probe is answered, route asks for the map
        // it judges by: a map that does not show the routes may be another client's.
        row("route: output above the count", words("route 17 1"), "output 17 does not exist", 1, {},
            {refresh, switchCommand("17", "1"), refresh, query});
        row("route: one of two taken", words("route 1 2 16 99"),
            "did not take 1 of 2 routes: output 16 is on input 16, not 99", 1, {},
            {refresh, switchCommand("1", "2"), switchCommand("16", "99"), refresh, query});
        // The link and the device.
        row("device: refused connection", {"info"}, "cannot connect to ADDRESS: Connection refused",
            1);
        row("device: never answers", words("--timeout 300 info"),
            "no device information from ADDRESS within 300 ms", 1);
        row("device: hangs up without a word", {"info"}, "the device closed the connection", 1);
        row("device: hangs up in the middle of a map", {"routes"},
            "the device closed the connection in the middle of a reply (6 bytes: A:0102)", 1,
            "A:\004HDMIx04-04-SIM0A:0102");
        row("device: garbage instead of a reply", words("--timeout 300 info"),
            "no device information from ADDRESS within 300 ms; it sent 10 bytes that are no "
            "reply: \\x01\\x02 garbage",
            1, "\x01\x02 garbage");
        row("device: unusable counts", {"info"},
            "the device reported unusable port counts (0 inputs, 4 outputs)", 1,
            "A:\004HDMIx00-04-SIM0");
        row("device: no such serial line", words("--serial /dev/no-such-tty info"),
            "cannot open the serial line /dev/no-such-tty: ", 1);
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, bytes);
        QFETCH(Lines, sent);
        const QByteArray tag = QTest::currentDataTag();
        Sim sim;
        ScriptedDevice device(bytes, tag.contains("hangs up"));
        QStringList link = tag.startsWith("device: ") ? tcpTo(device.serverPort()) : sim.link();
        if (arguments.first() == "--serial")
            link.clear(); // the row's own
        if (tag.contains("refused connection"))
            device.close(); // nobody listens on the port any more
        QFile file(m_dir.filePath("snapshot.json"));
        QVERIFY(!arguments.contains("FILE")
                || (file.open(QIODevice::WriteOnly) && file.write(bytes) && file.flush()));
        arguments.replaceInStrings("FILE", file.fileName());
        message.replace("FILE", file.fileName()).replace("ADDRESS", link.value(1));
        RUN(run, link + QStringList {"--json"} + arguments);
        QCOMPARE(run.exitCode(), exitCode);
        QVERIFY2(run.err.startsWith("matrix-ctl: ") && run.err.contains(message),
                 qPrintable(run.err));
        QCOMPARE(run.json().value("error").toString(),
                 run.err.section("matrix-ctl: ", 1).section('\n', 0, 0));
        QCOMPARE(run.json().value("exitCode").toInt(-1), exitCode);
        waitFor([&] { return sim.commands.size() >= sent.size(); }, 1000);
        QCOMPARE(sim.commands, sent);
        QCOMPARE(sim.links, int(!sent.isEmpty()));
    }

    // watch prints each reply as it arrives, a route another client switched included, until
    // --count replies or SIGTERM. Each line: its kind, and the input of output 5 on a map.
    void watch_data()
    {
        columns<QString, QStringList>({"call", "lines"});
        QTest::newRow("told by the device")
            << "watch --count 2" << QStringList {"information 0", "routes 9"};
        QTest::newRow("polling: the first map, then the changed one")
            << "watch --count 3 --poll 50" << QStringList {"information 0", "routes 5", "routes 9"};
        QTest::newRow("noise: shown, not counted")
            << "watch --count 2" << QStringList {"unrecognised 0", "information 0", "routes 9"};
        QTest::newRow("until SIGTERM") << "watch" << QStringList {"information 0", "routes 9"};
    }
    void watch()
    {
        QFETCH(QString, call);
        QFETCH(QStringList, lines);
        Sim sim(16, 16, 0, QByteArray(QTest::currentDataTag()).startsWith("noise"));
        Ctl watch(sim.link() + QStringList {"--json"} + call.split(' '));
        auto printed = [&](int n) { return waitFor([&] { return watch.out.count('\n') >= n; }); };
        QVERIFY2(printed(lines.size() - 1), watch.out.constData());
        QTcpSocket client; // another operator's switch
        client.connectToHost(QHostAddress::LocalHost, sim.server.tcpPort());
        client.write(switchCommand("5", "9"));
        if (call == "watch" && printed(lines.size()))
            watch.terminate(); // SIGTERM
        QVERIFY2(watch.finished() && watch.exitCode() == 0, watch.out.constData());
        QStringList seen;
        for (const QByteArray &line : watch.out.trimmed().split('\n')) {
            const QJsonDocument reply = QJsonDocument::fromJson(line);
            const QJsonValue input = reply["routes"][4]["input"]; // 0 when none
            seen << reply["reply"].toString() + " " + QString::number(input.toInt());
        }
        QCOMPARE(seen, lines);
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
