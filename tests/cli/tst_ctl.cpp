// matrix-ctl as a script runs it: the real executable against the in-process
// simulator (over TCP and its pty) or a scripted device on loopback. The
// expected command lines come from the builders, not from this file.

#include "commands/builders.h"
#include "sim/simserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace commands;

namespace {

const int runLimitMs = 20000; // fail fast rather than run into CTest's timeout

struct Result
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// Runs matrix-ctl while the event loop turns, so that an in-process device
// can answer it.
Result ctl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(MATRIX_CTL_EXECUTABLE), arguments);
    Result result;
    result.finished = process.waitForStarted(5000)
        && QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, runLimitMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

#define RUN(result, ...)                                                                           \
    const Result result = ctl(__VA_ARGS__);                                                        \
    QVERIFY2(result.finished, "matrix-ctl did not finish")

// The simulator, with every command it has framed (and every stray byte
// run) recorded in order.
struct Sim
{
    explicit Sim(int inputs = 16, int outputs = 16)
        : server(options())
    {
        server.device().setPortCounts(inputs, outputs);
        QObject::connect(&server, &SimServer::commandHandled,
                         [this](const QString &, const QByteArray &bytes) { commands << bytes; });
        QObject::connect(&server, &SimServer::linkOpened, [this] { ++links; });
        listening = server.listenTcp();
    }
    static SimServer::Options options()
    {
        SimServer::Options o;
        o.port = 0;
        o.ptyReplyGapMs = 100; // paced longer than the client's quiet gap, but quick
        return o;
    }
    QStringList tcp() const
    {
        return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(server.tcpPort())};
    }
    QStringList serial() { return {"--serial", server.ptySlavePath()}; }
    QStringList link(bool pty) { return pty && server.openPty() ? serial() : tcp(); }

    SimServer server;
    QList<QByteArray> commands;
    int links = 0;
    bool listening = false;
};

// A device on loopback that answers the first bytes it gets with a script,
// and then hangs up if asked to.
class ScriptedDevice : public QObject
{
public:
    ScriptedDevice(const QByteArray &reply, bool hangUp)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [=] {
            m_client = m_server.nextPendingConnection();
            connect(m_client, &QTcpSocket::readyRead, this, [=] {
                m_received += m_client->readAll();
                if (std::exchange(m_replied, true))
                    return;
                m_client->write(reply);
                if (hangUp)
                    m_client->disconnectFromHost();
            });
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QStringList tcp() const
    {
        return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort())};
    }
    void send(const QByteArray &bytes) { m_client->write(bytes); }
    QByteArray received() const { return m_received; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    bool m_replied = false;
};

const QByteArray info4x4 = "A:\004HDMIx04-04-SIM0";

// "output:input:taken" for each route of a JSON document.
QStringList takenRoutes(const QJsonObject &document)
{
    QStringList routes;
    for (const QJsonValue &v : document.value("routes").toArray())
        routes << QStringLiteral("%1:%2:%3")
                      .arg(v["output"].toInt())
                      .arg(v["input"].toInt())
                      .arg(v["taken"].toBool() ? "taken" : "not");
    return routes;
}

QString refusalText(const CommandPlan &plan)
{
    return plan.refusal ? describeRefusal(*plan.refusal) : QStringLiteral("(not refused)");
}

QString refusalText(const std::optional<Refusal> &refusal)
{
    return refusal ? describeRefusal(*refusal) : QStringLiteral("(not refused)");
}

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT

private slots:
    void commandLinesOnTheWire_data();
    void commandLinesOnTheWire();
    void routeNotTaken_data();
    void routeNotTaken();
    void snapshotRestoreRoundTrip_data();
    void snapshotRestoreRoundTrip();
    void restoreRefusesFile_data();
    void restoreRefusesFile();
    void refusedInputSendsNothing_data();
    void refusedInputSendsNothing();
    void linkAndDeviceFailures_data();
    void linkAndDeviceFailures();
    void jsonDocuments();
    void watchSeesAnotherClientsRoute_data();
    void watchSeesAnotherClientsRoute();
    void watchPrintsWhatArrivesUntilTerminated();
};

void TestCtl::commandLinesOnTheWire_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::addColumn<bool>("pty");
    const QByteArray refresh = refreshCommand();
    const QByteArray query = queryCommand();
    auto row = [](const QString &name, const QStringList &arguments,
                  const QList<QByteArray> &expected, bool pty = false) {
        QTest::newRow(name.toUtf8().constData()) << arguments << expected << pty;
    };

    row("info", {"info"}, {refresh, query});
    row("routes", {"routes"}, {refresh, query});
    row("route: numbers as the console writes them, then a probe", {"route", "03", "5", "10", "2"},
        {refresh, switchCommand("3", "5"), switchCommand("10", "2"), refresh});
    row("save plan", {"save-plan", "5"}, plan(PlanAction::Save, "5").commands);
    // Items alternately by number and by text.
    for (int i = 0; i < int(std::size(outputResolutions)); ++i) {
        const QString item = QString::fromUtf8(outputResolutions[i].item);
        row("output resolution " + item,
            {"output-resolution", "4", i % 2 ? item : QString::number(i + 1)},
            outputResolution("4", i).commands);
    }
    for (int i = 0; i < int(std::size(inputResolutions)); ++i) {
        const QString item = QString::fromUtf8(inputResolutions[i].item);
        row("input resolution " + item,
            {"input-resolution", "72", i % 2 ? QString::number(i + 1) : item},
            inputResolution("72", i).commands);
    }
    for (int i = 0; i < int(std::size(outputModes)); ++i) {
        const QString item = QString::fromUtf8(outputModes[i].item);
        row("output mode " + item, {"output-mode", "04", item}, outputMode("04", i).commands);
    }
    for (int i = 0; i < int(std::size(inputSources)); ++i) {
        const QString item = QString::fromUtf8(inputSources[i].item);
        row("input source " + item, {"input-source", "4", item.toLower()},
            inputSource("4", i).commands);
    }
    for (int i = 1; i < int(std::size(edidModes)); ++i) {
        const QString item = QString::fromUtf8(edidModes[i].item);
        row("EDID " + item, {"edid", "4", i % 2 ? item : QString::number(i + 1)},
            edid("4", i, QString()).commands);
    }
    row("EDID by the text after its number, any case", {"edid", "4", "hdmi-4k2k"},
        edid("4", 4, QString()).commands);
    row("EDID copy from a monitor", {"edid", "12", "1", "3"}, edid("12", 0, "3").commands);
    row("output brightness as typed", {"output-brightness", "4", "080"},
        outputBrightness("4", "080").commands);
    row("input brightness", {"input-brightness", "9", "200"}, inputBrightness("9", "200").commands);
    const struct
    {
        const char *command;
        const char *word;
        OutputImageButton button;
    } buttons[] = {
        {"output-seamless", "on", OutputImageButton::Seamless},
        {"output-seamless", "OFF", OutputImageButton::NotSeamless},
        {"output-drive", "on", OutputImageButton::DriveOn},
        {"output-drive", "off", OutputImageButton::DriveOff},
        {"output-drive", "default", OutputImageButton::DriveDefault},
    };
    for (const auto &b : buttons)
        row(QStringLiteral("%1 %2").arg(b.command, b.word), {b.command, "4", b.word},
            outputImageButton("4", b.button).commands);
    row("wall", {"wall", "4", "2", "2", "2", "1"}, wallSplit("4", "2", "2", "2", "1").commands);
    row("port count", {"port-count", "12", "8"}, portCount("12", "8").commands);
    row("send, as typed", {"send", "*>O1 SETLD 100 END!"},
        freeCommand("*>O1 SETLD 100 END!").commands);
    row("pty: info", {"info"}, {refresh, query}, true);
    row("pty: route", {"route", "2", "7"}, {refresh, switchCommand("2", "7"), refresh}, true);
    row("pty: output mode", {"output-mode", "4", "DVI"}, outputMode("4", 1).commands, true);
    row("pty: EDID copy", {"edid", "4", "1", "5"}, edid("4", 0, "5").commands, true);
}

void TestCtl::commandLinesOnTheWire()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(bool, pty);
    Sim sim;
    QVERIFY(sim.listening);
    RUN(run, sim.link(pty) + arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QTRY_COMPARE(sim.commands, expected);
}

void TestCtl::routeNotTaken_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("asks"); // for the map, when no switch was answered

    QTest::newRow("output above the count") << QStringList {"17", "1"} << QStringList {"17:1:not"}
                                            << "output 17 does not exist" << true;
    QTest::newRow("input above the count") << QStringList {"3", "17"} << QStringList {"3:17:not"}
                                           << "output 3 is on input 3, not 17" << true;
    QTest::newRow("one of two taken")
        << QStringList {"1", "2", "16", "99"} << QStringList {"1:2:taken", "16:99:not"}
        << "did not take 1 of 2 routes" << false;
}

void TestCtl::routeNotTaken()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, routes);
    QFETCH(QString, message);
    QFETCH(bool, asks);
    Sim sim;
    RUN(run, sim.tcp() + QStringList {"--json", "route"} + arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    const QJsonObject document = run.json();
    QCOMPARE(document.value("ok").toBool(true), false);
    QCOMPARE(document.value("error").toString(), run.err.section("matrix-ctl: ", 1).trimmed());
    QCOMPARE(takenRoutes(document), routes);
    QCOMPARE(sim.server.device().routeOf(1), routes.size() == 2 ? 2 : 1);
    QTRY_COMPARE(sim.commands.last(), asks ? queryCommand() : refreshCommand());
}

void TestCtl::snapshotRestoreRoundTrip_data()
{
    QTest::addColumn<int>("ports");
    QTest::addColumn<bool>("pty");
    QTest::newRow("16 x 16 over the pty") << 16 << true;
    QTest::newRow("99 x 99 over TCP") << 99 << false;
}

void TestCtl::snapshotRestoreRoundTrip()
{
    QFETCH(int, ports);
    QFETCH(bool, pty);
    Sim sim(ports, ports);
    MatrixDevice &device = sim.server.device();
    for (int output = 1; output <= ports; ++output)
        device.setRoute(output, (output * 7) % ports + 1);
    const QVector<int> original = device.routing();
    QTemporaryDir dir;
    const QString file = dir.filePath("rack.json");
    const QStringList link = sim.link(pty);

    RUN(snapshot, link + QStringList {"--json", "snapshot", file});
    QVERIFY2(snapshot.exitCode == 0, qPrintable(snapshot.err));
    QCOMPARE(snapshot.json().value("routes").toArray().size(), ports);

    int changed = 0;
    for (int output = 1; output <= ports; output += 3, ++changed)
        device.setRoute(output, original[output - 1] % ports + 1);
    sim.commands.clear();
    RUN(restore, link + QStringList {"--json", "restore", file});
    QVERIFY2(restore.exitCode == 0, qPrintable(restore.err));
    QCOMPARE(restore.json().value("switched").toInt(), changed);
    QCOMPARE(device.routing(), original);
    const int switches = int(std::count_if(sim.commands.begin(), sim.commands.end(),
                                           [](const QByteArray &c) { return c.contains('<'); }));
    QCOMPARE(switches, changed);

    RUN(again, link + QStringList {"--json", "restore", file});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.json().value("switched").toInt(), 0);
}

void TestCtl::restoreRefusesFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("connects"); // to learn the counts, nothing more

    QJsonArray routes;
    for (int output = 1; output <= 16; ++output)
        routes.append(QJsonObject {{"output", output}, {"input", 1}});
    QJsonObject snapshot {{"format", "matrix-ctl snapshot"},
                          {"version", 1},
                          {"device", "B"},
                          {"model", "HDMIx16-16-RACK"},
                          {"inputs", 16},
                          {"outputs", 16},
                          {"routes", routes}};
    QTest::newRow("from a device with other counts")
        << QJsonDocument(snapshot).toJson()
        << "was taken from a device with 16 inputs and 16 outputs (B, HDMIx16-16-RACK); this one "
           "has 8 inputs and 8 outputs: nothing sent"
        << true;
    snapshot.insert("inputs", 8);
    snapshot.insert("outputs", 8);
    QTest::newRow("an output twice")
        << QJsonDocument(snapshot).toJson() << "is not an output from 1 to 8 (once)" << false;
    QTest::newRow("not a snapshot")
        << QByteArray("{\"routes\": []}") << "is not a matrix-ctl snapshot" << false;
    QTest::newRow("not JSON") << QByteArray("output 1 <- input 2")
                              << "is not a matrix-ctl snapshot (" << false;
}

void TestCtl::restoreRefusesFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    QFETCH(bool, connects);
    Sim sim(8, 8);
    QTemporaryDir dir;
    QFile out(dir.filePath("rack.json"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    RUN(run, sim.tcp() + QStringList {"restore", out.fileName()});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    if (connects)
        QTRY_COMPARE(sim.commands, (QList<QByteArray> {refreshCommand(), queryCommand()}));
    else
        QCOMPARE(sim.links, 0);
}

void TestCtl::refusedInputSendsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    auto row = [](const char *name, const QStringList &arguments, const QString &message) {
        QTest::newRow(name) << arguments << message;
    };
    row("switch output 100", {"route", "100", "1"},
        refusalText(checkNumber(NumberTest::RoutePort, Field::OutputPort, "100")));
    row("switch input +5", {"route", "1", "+5"},
        refusalText(checkNumber(NumberTest::RoutePort, Field::InputPort, "+5")));
    row("setting port 73", {"output-resolution", "73", "1080P"},
        refusalText(outputResolution("73", 0)));
    row("brightness +5", {"output-brightness", "4", "+5"},
        refusalText(outputBrightness("4", "+5")));
    row("brightness -5", {"input-brightness", "4", "-5"}, refusalText(inputBrightness("4", "-5")));
    row("brightness judged before the port", {"output-brightness", "73", "9"},
        refusalText(outputBrightness("73", "9")));
    row("plan 31", {"save-plan", "31"}, refusalText(plan(PlanAction::Save, "31")));
    row("plan 0", {"recall-plan", "0"}, refusalText(plan(PlanAction::Recall, "0")));
    row("port count 0", {"port-count", "0", "16"}, refusalText(portCount("0", "16")));
    row("EDID copy without a monitor", {"edid", "4", "1"}, refusalText(edid("4", 0, "")));
    row("EDID monitor 73", {"edid", "4", "1", "73"}, refusalText(edid("4", 0, "73")));
    row("wall output 73", {"wall", "73", "1", "1", "1", "1"},
        refusalText(wallSplit("73", "1", "1", "1", "1")));
    row("monitor with a preset", {"edid", "4", "2", "5"}, "goes only with mode 1");
    row("unknown mode", {"output-mode", "4", "bogus"}, "'bogus' is no output mode");
    row("item number past the list", {"input-source", "4", "5"}, "'5' is no input source");
    row("wall size 17", {"wall", "4", "17", "1", "1", "1"}, "is not one of the wall sizes");
    row("seamless maybe", {"output-seamless", "4", "maybe"}, "'maybe' is not on, off");
    row("output without input", {"route", "1", "2", "3"}, "OUTPUT '3' has no INPUT");
    row("unknown command", {"reboot"}, "unknown command 'reboot'\nTry 'matrix-ctl --help'.");
    row("unknown option", {"--verbose", "info"}, "unknown option '--verbose'");
    row("extra argument", {"info", "now"}, "unexpected argument 'now'");
    row("count without watch", {"--count", "2", "info"}, "--count and --poll belong to watch");
    row("two links", {"--serial", "/dev/null", "info"}, "--tcp and --serial exclude each other");
    row("empty free command", {"send", ""}, "TEXT is empty");
}

void TestCtl::refusedInputSendsNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    Sim sim;
    RUN(run, sim.tcp() + arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith("matrix-ctl: ") && run.err.contains(message), qPrintable(run.err));
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(sim.links, 0);
}

void TestCtl::linkAndDeviceFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("reply"); // the scripted device's answer
    QTest::addColumn<bool>("hangUp");
    QTest::addColumn<QString>("message"); // %1: the device's address

    QTest::newRow("refused connection") << QStringList {"info"} << QByteArray() << false
                                        << "cannot connect to %1: Connection refused";
    QTest::newRow("never answers") << QStringList {"--timeout", "300", "info"} << QByteArray()
                                   << false << "no device information from %1 within 300 ms";
    QTest::newRow("hangs up without a word")
        << QStringList {"info"} << QByteArray() << true << "the device closed the connection";
    QTest::newRow("hangs up in the middle of a map")
        << QStringList {"routes"} << info4x4 + "A:0102" << true
        << "the device closed the connection in the middle of a reply (6 bytes: A:0102)";
    QTest::newRow("garbage instead of a reply")
        << QStringList {"--timeout", "300", "info"} << QByteArray("\x01\x02 garbage") << false
        << "no device information from %1 within 300 ms; it sent 10 bytes that are no reply: "
           "\\x01\\x02 garbage";
    QTest::newRow("unusable counts")
        << QStringList {"info"} << QByteArray("A:\004HDMIx00-04-SIM0") << false
        << "the device reported unusable port counts (0 inputs, 4 outputs)";
    QTest::newRow("no such serial line")
        << QStringList {"--serial", "/dev/no-such-tty", "info"} << QByteArray() << false
        << "cannot open the serial line /dev/no-such-tty: ";
}

void TestCtl::linkAndDeviceFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, reply);
    QFETCH(bool, hangUp);
    QFETCH(QString, message);
    ScriptedDevice device(reply, hangUp);
    QStringList link = device.tcp();
    if (QByteArray(QTest::currentDataTag()) == "refused connection") {
        QTcpServer closed; // a port nobody listens on any more
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        link = QStringList {"--tcp", QStringLiteral("127.0.0.1:%1").arg(closed.serverPort())};
    }
    if (arguments.contains("--serial"))
        link.clear();
    RUN(run, link + QStringList {"--json"} + arguments);
    QCOMPARE(run.exitCode, 1);
    const QString expected = QString(message).replace("%1", link.value(1));
    QVERIFY2(run.err.contains("matrix-ctl: " + expected), qPrintable(run.err));
    QVERIFY2(run.json().value("error").toString().contains(expected), run.out.constData());
}

void TestCtl::jsonDocuments()
{
    Sim sim(8, 12);
    sim.server.device().setRoute(12, 5);
    RUN(info, sim.tcp() + QStringList {"info", "--json"});
    const QJsonObject document = info.json();
    QCOMPARE(document.value("command").toString(), "info");
    QCOMPARE(document.value("device").toString(), "A");
    QCOMPARE(document.value("model").toString(),
             QString::fromLatin1(sim.server.device().modelText()));
    QCOMPARE(document.value("inputs").toInt(), 8);
    QCOMPARE(document.value("outputs").toInt(), 12);
    QCOMPARE(document.value("exitCode").toInt(-1), 0);

    RUN(routes, sim.tcp() + QStringList {"--json", "routes"});
    const QJsonArray list = routes.json().value("routes").toArray();
    QCOMPARE(list.size(), 12);
    QCOMPARE(list.at(11).toObject(), (QJsonObject {{"output", 12}, {"input", 5}}));
    RUN(text, sim.tcp() + QStringList {"routes"});
    QVERIFY(text.out.endsWith("output 12 \u2190 input 5\n"));

    RUN(listed, QStringList {"list", "edid", "--json"});
    const QJsonArray edidItems = listed.json().value("edid").toArray();
    QCOMPARE(edidItems.size(), int(std::size(edidModes)));
    QCOMPARE(edidItems.at(7).toObject().value("item").toString(),
             QString::fromUtf8(edidModes[7].item));

    RUN(help, QStringList {"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char *part : {"Usage: matrix-ctl", "route OUTPUT INPUT", "watch [--count N]",
                             "restore FILE", "Examples:", "Exit status:"})
        QVERIFY2(help.out.contains(part), part);
}

void TestCtl::watchSeesAnotherClientsRoute_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("replies"); // the information watch asked for comes first
    QTest::newRow("told by the device") << QStringList() << 2;
    QTest::newRow("polling: the first map, then the changed one")
        << QStringList {"--poll", "50"} << 3;
}

void TestCtl::watchSeesAnotherClientsRoute()
{
    QFETCH(QStringList, options);
    QFETCH(int, replies);
    Sim sim;
    QProcess watch;
    QByteArray lines;
    connect(&watch, &QProcess::readyReadStandardOutput, this,
            [&] { lines += watch.readAllStandardOutput(); });
    watch.start(MATRIX_CTL_EXECUTABLE,
                sim.tcp() + QStringList {"watch", "--count", QString::number(replies), "--json"}
                    + options);
    QVERIFY2(QTest::qWaitFor([&] { return lines.count('\n') >= replies - 1; }, runLimitMs), lines);
    RUN(route, sim.tcp() + QStringList {"route", "5", "9"});
    QCOMPARE(route.exitCode, 0);
    QVERIFY(QTest::qWaitFor([&] { return watch.state() == QProcess::NotRunning; }, runLimitMs));
    QCOMPARE(watch.exitCode(), 0);
    lines += watch.readAllStandardOutput();
    const QList<QByteArray> seen = lines.trimmed().split('\n');
    QCOMPARE(seen.size(), replies);
    QCOMPARE(QJsonDocument::fromJson(seen[0]).object().value("reply").toString(), "information");
    const QJsonArray last = QJsonDocument::fromJson(seen.last()).object().value("routes").toArray();
    QCOMPARE(last.at(4).toObject().value("input").toInt(), 9);
    if (replies == 3) {
        const QJsonArray first
            = QJsonDocument::fromJson(seen[1]).object().value("routes").toArray();
        QCOMPARE(first.at(4).toObject().value("input").toInt(), 5);
    }
}

void TestCtl::watchPrintsWhatArrivesUntilTerminated()
{
    ScriptedDevice device(info4x4, false);
    QProcess watch;
    QByteArray lines;
    connect(&watch, &QProcess::readyReadStandardOutput, this,
            [&] { lines += watch.readAllStandardOutput(); });
    watch.start(MATRIX_CTL_EXECUTABLE, device.tcp() + QStringList {"watch"});
    QVERIFY2(QTest::qWaitFor([&] { return lines.count('\n') >= 1; }, runLimitMs), lines);
    // Another operator's switch, and noise from the line.
    device.send("\x7f\x01xA:03010204");
    QVERIFY2(QTest::qWaitFor([&] { return lines.count('\n') >= 3; }, runLimitMs), lines);
    watch.terminate(); // SIGTERM
    QVERIFY(QTest::qWaitFor([&] { return watch.state() == QProcess::NotRunning; }, runLimitMs));
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    QCOMPARE(device.received(), refreshCommand());
    QCOMPARE(QString::fromUtf8(lines).split('\n'),
             (QStringList {"device A, model HDMIx04-04-SIM0, 4 inputs, 4 outputs",
                           "unrecognised 3 bytes: \\x7f\\x01x",
                           "routes (output\u2190input): 1\u21903 2\u21901 3\u21902 4\u21904", ""}));
}

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
