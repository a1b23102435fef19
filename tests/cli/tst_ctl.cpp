// matrix-ctl as a script runs it: the real executable against the in-process
// simulator (over TCP and its pty) or a scripted device on loopback. The
// expected command lines come from the builders, not from this file.

#include "codec/codec.h"
#include "commands/builders.h"
#include "sim/simserver.h"

#include <QtNetwork>
#include <QtTest>

#include <functional>
#include <unistd.h>

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
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
}
const auto tcpTo = [](quint16 port) {
    return QStringList {"--tcp", "127.0.0.1:" + QString::number(port)};
};

// matrix-ctl running beside the test while the event loop turns (so that an
// in-process device can answer it), its stdout collected as it comes.
// SETUP may redirect its channels before it starts.
struct Ctl : QProcess
{
    explicit Ctl(const QStringList &arguments, const std::function<void(QProcess &)> &setup = {},
                 const QStringList &wrapper = {})
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { out += readAllStandardOutput(); });
        if (setup)
            setup(*this);
        const QStringList command = wrapper + QStringList {QStringLiteral(MATRIX_CTL_EXECUTABLE)};
        start(command.first(), command.mid(1) + arguments);
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
    explicit Sim(int inputs = 16, int outputs = 16, int fragmentGapMs = 0, bool noise = false,
                 int ptyReplyGapMs = 100) // quick, but paced longer than the client's quiet gap
    {
        SimServer::Options o;
        o.port = 0;
        o.ptyReplyGapMs = ptyReplyGapMs;
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
    // Another operator's switch, on a connection of its own.
    void switchAsAnotherClient(int output, int input)
    {
        if (other.state() == QAbstractSocket::UnconnectedState)
            other.connectToHost(QHostAddress::LocalHost, server.tcpPort());
        other.write(switchCommand(QString::number(output), QString::number(input)));
    }
    SimServer server;
    QTcpSocket other;
    Lines commands;
    int links = 0;
};

// A 16 x 16 matrix on 127.0.0.1 that keeps a routing state and answers "*?!" with its
// information and "*!" or a switch it takes with its map, each as one write; what it does
// besides is its fault. Scripted: answers the first command with SCRIPT (then hangs up if
// asked to) and nothing else.
class FakeMatrix : public QTcpServer
{
public:
    enum Fault {
        None,
        MapBeforeAnswer, // an unasked map right in front of every answer, in the same write
        OtherClient, // another client switches output 16 before each command; its map comes first
        NoiseBehind, // stray bytes glued behind every answer
        Paced, // answers 120 ms apart, at most two waiting (a third pushes the oldest out)
        NoMaps, // answers "*?!" only
        Scripted,
    };

    explicit FakeMatrix(Fault fault, const QByteArray &script = {}, bool hangUp = false)
        : m_fault(fault)
        , m_script(script)
        , m_hangUp(hangUp)
    {
        connect(this, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *client = nextPendingConnection())
                connect(client, &QTcpSocket::readyRead, [this, client] { read(client); });
        });
        connect(&m_pace, &QTimer::timeout, [this] {
            if (m_waiting.isEmpty() || !m_client)
                return m_pace.stop();
            m_client->write(m_waiting.takeFirst());
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QStringList link() const { return tcpTo(serverPort()); }

    QVector<int> routes = QVector<int>(16, 1);
    Lines commands;

private:
    QByteArray map() const
    {
        QByteArray bytes = "A:";
        for (const int input : routes)
            bytes += QByteArray::number(input).rightJustified(2, '0');
        return bytes;
    }
    void read(QTcpSocket *client)
    {
        m_held += client->readAll();
        for (int end; (end = m_held.indexOf('!')) >= 0; m_held.remove(0, end + 1)) {
            commands << m_held.left(end + 1);
            answer(client, commands.last());
        }
    }
    void answer(QTcpSocket *client, const QByteArray &command)
    {
        if (m_fault == Scripted) {
            if (commands.size() == 1 && client->write(m_script) >= 0 && m_hangUp)
                client->disconnectFromHost();
            return;
        }
        if (m_fault == OtherClient) { // a write of its own, as from another connection
            routes[15] = routes[15] % 16 + 1;
            client->write(map());
        }
        QByteArray reply;
        const int to = command.indexOf('<');
        if (command == refreshCommand()) {
            reply = QByteArray("A:\x04HDMIx16-16-FAKE", 18);
        } else if (m_fault != NoMaps && command == queryCommand()) {
            reply = map();
        } else if (m_fault != NoMaps && to > 0) {
            const int output = command.mid(1, to - 1).toInt(),
                      input = command.mid(to + 1).chopped(1).toInt();
            if (output < 1 || output > 16 || input < 1 || input > 16)
                return; // refused: no answer
            routes[output - 1] = input;
            reply = map();
        }
        if (reply.isEmpty())
            return;
        if (m_fault == MapBeforeAnswer)
            reply.prepend(map());
        if (m_fault == NoiseBehind)
            reply += "\x01\x7fnoise";
        if (m_fault != Paced)
            return void(client->write(reply));
        m_client = client;
        if (m_waiting.size() == 2)
            m_waiting.removeFirst();
        m_waiting << reply;
        if (!m_pace.isActive())
            m_pace.start(120);
    }

    const Fault m_fault;
    const QByteArray m_script;
    const bool m_hangUp;
    QByteArray m_held;
    QTimer m_pace;
    Lines m_waiting;
    QPointer<QTcpSocket> m_client;
};

// docs/cli-json.md read as the schema it is: its tables by heading, each field's type and
// when it is present in the doc's own words. A document is checked against the envelope and
// its command's table, objects against theirs; a field the doc does not list fails.
struct Schema
{
    using Table = QMap<QString, QStringList>; // field: its type, when it is present

    explicit Schema(const QString &path)
    {
        QFile file(path);
        QString section;
        QStringList names; // a heading may name several commands
        const QRegularExpression quoted("`([^`]+)`");
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (line.startsWith("#"))
                names.clear();
            if (line.startsWith("## "))
                section = line.mid(3).trimmed();
            for (auto it = quoted.globalMatch(line); line.startsWith("### ") && it.hasNext();)
                names << it.next().captured(1);
            const QStringList cells = line.split('|');
            if (!line.startsWith("| `") || cells.size() < 4)
                continue;
            const QString name = cells[1].trimmed().remove('`');
            const QStringList field {cells[2].trimmed(), cells[3].trimmed()};
            if (section == "Envelope")
                envelope.insert(name, field);
            for (const QString &table : qAsConst(names))
                (section == "Documents" ? documents : objects)[table].insert(name, field);
        }
    }

    // Adds to WHY where and why VALUE is not of TYPE.
    void check(const QJsonValue &value, QString type, const QString &at, QStringList &why) const
    {
        if (type.endsWith(" or null") && (type.chop(8), value.isNull()))
            return;
        if (type.startsWith("array of ") && !value.isArray())
            return void(why << at + " is not an array");
        for (int i = 0; type.startsWith("array of ") && i < value.toArray().size(); ++i)
            check(value[i], type.mid(9), QString("%1[%2]").arg(at).arg(i), why);
        if (type.startsWith("array of "))
            return;
        const bool ok = type == "string" ? value.isString()
            : type == "boolean"          ? value.isBool()
            : type == "integer"          ? value.isDouble() && value.toDouble() == value.toInt()
                                         : objects.contains(type) && value.isObject();
        if (!ok)
            why << QString("%1 is no %2").arg(at, type);
        else if (objects.contains(type))
            checkObject(value.toObject(), objects[type], at, why);
    }

    void checkObject(const QJsonObject &object, const Table &table, const QString &at,
                     QStringList &why) const
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!table.contains(it.key()))
                why << at + "." + it.key() + " is not documented";
            else
                check(it.value(), table[it.key()][0], at + "." + it.key(), why);
        }
        for (auto it = table.begin(); it != table.end(); ++it) {
            const QString &present = it.value()[1];
            const bool has = object.contains(it.key()), ok = object["ok"].toBool();
            const QStringList when = present.split(' '); // "when KEY is VALUE"
            const bool right = present == "always" ? has
                : present == "when ok"             ? has || !ok
                : present == "when not ok"         ? has == !ok
                : present == "sometimes"           ? true
                : when.size() == 4 && when[2] == "is"
                ? has == (object[when[1]].toString() == when[3])
                : false;
            if (!right)
                why << QString("%1.%2 breaks '%3'").arg(at, it.key(), present);
        }
    }

    // Empty when the document matches, else where and why not.
    QString checkDocument(const QJsonObject &document) const
    {
        QStringList why;
        Table table = documents.value(document["command"].toString());
        table.insert(envelope);
        checkObject(document, table, document["command"].toString(), why);
        return why.join('\n');
    }

    Table envelope;
    QMap<QString, Table> objects; // and files
    QMap<QString, Table> documents; // by command
};

// The value at a path such as "routes/0/state" as text ("null", "true", "3", ...).
QString valueAt(QJsonValue value, const QString &path)
{
    for (const QString &step : path.split('/'))
        value = value.isArray() ? value[step.toInt()] : value[step];
    const QByteArray json = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
    return value.isString() ? value.toString() : QString::fromUtf8(json.mid(1, json.size() - 2));
}

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const Schema m_schema {QStringLiteral(MATRIX_CLI_JSON_DOC)};

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
        row("output-resolution 4 1080p", outputResolution("4", 0).commands);
        row("output-mode 04 等比例模式", outputMode("04", 4).commands);
        row("input-source 4 hdmi", inputSource("4", 1).commands);
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
        row("--version", {}, {"matrix-ctl " MATRIX_PROJECT_VERSION "\n"});
        row("route 03 5 10 2",
            {refresh, switchCommand("3", "5"), switchCommand("10", "2"), refresh});
        row("save-plan 5", plan(PlanAction::Save, "5").commands);
        row("recall-plan 5",
            Lines {refresh} + plan(PlanAction::Recall, "5").commands + Lines {refresh});
        row("output-brightness 4 080", outputBrightness("4", "080").commands);
        row("output-seamless 4 OFF", outputImageButton("4", B::NotSeamless).commands);
        row("output-drive 4 on", outputImageButton("4", B::DriveOn).commands);
        row("wall 4 2 2 2 1", wallSplit("4", "2", "2", "2", "1").commands);
        row("port-count 12 8", portCount("12", "8").commands);
        const QString typed = "*>O1 SETLD 100 END!";
        QTest::newRow("send, as typed")
            << QStringList {"send", typed} << freeCommand(typed).commands
            << QStringList {"sent " + typed};
        row("pty: --json info", {refresh, query}, {R"("inputs":16,)", R"("outputs":12})"});
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
        columns<int, bool, QString>({"ports", "pty", "file"});
        QTest::newRow("16 x 16 over the pty") << 16 << true << "rack.json";
        QTest::newRow("99 x 99 over TCP") << 99 << false << "rack.json";
        QTest::newRow("through stdout and stdin") << 16 << false << "-";
    }
    void snapshotRestoreRoundTrip()
    {
        QFETCH(int, ports);
        QFETCH(bool, pty);
        QFETCH(QString, file);
        Sim sim(ports, ports);
        MatrixDevice &device = sim.server.device();
        for (int output = 1; output <= ports; ++output)
            device.setRoute(output, (output * 7) % ports + 1);
        const QVector<int> original = device.routing();
        const QStringList link = sim.link(pty) + QStringList {"--json"};
        const QString written = m_dir.filePath("rack.json"); // what restore - reads
        if (file != "-")
            file = written;
        RUN(snapshot, link + QStringList {"snapshot", file});
        QVERIFY2(snapshot.exitCode() == 0 && snapshot.json()["routes"].toArray().size() == ports,
                 qPrintable(snapshot.err));
        QVERIFY(file != "-" || writeFile(written, snapshot.out));

        int changed = 0;
        for (int output = 1; output <= ports; output += 3, ++changed)
            device.setRoute(output, original[output - 1] % ports + 1);
        sim.commands.clear();
        RUN(restore, link + QStringList {"restore", file},
            [&](QProcess &p) { p.setStandardInputFile(written); });
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
        auto snapshot = [](const char *route, const char *counts = "1", const char *version = "1") {
            return QByteArray(R"({"format": "matrix-ctl snapshot", "device": "B", "model": "M", )")
                + R"("version": )" + version + R"(, "inputs": )" + counts + R"(, "outputs": )"
                + counts + R"(, "routes": [)" + route + "]}";
        };
        const QByteArray refresh = refreshCommand(), query = queryCommand();
        // Refused numbers and bad arguments: not even a connection.
        row("route: output 100", words("route 100 1"),
            describeRefusal(checkNumber(NumberTest::RoutePort, Field::OutputPort, "100").value()));
        row("monitor with a preset", words("edid 4 2 5"), "goes only with mode 1");
        row("unknown mode", words("output-mode 4 bogus"), "'bogus' is no output mode");
        row("wall size 17", words("wall 4 17 1 1 1"), "is not one of the wall sizes");
        row("output without input", words("route 1 2 3"), "OUTPUT '3' has no INPUT");
        row("unknown command", {"reboot"}, "unknown command 'reboot'\nTry 'matrix-ctl --help'.");
        row("unknown option", words("--verbose info"), "unknown option '--verbose'");
        row("extra argument", words("info now"), "unexpected argument 'now'");
        row("count without watch", words("--count 2 info"), "--count and --poll belong to watch");
        row("two links", words("info --serial /dev/null"), "--tcp and --serial exclude each other");
        row("empty free command", {"send", ""}, "TEXT is empty");
        // Ambiguous: which of the two was meant cannot be told.
        row("route: the same output twice", words("route 1 2 5 6 1 3"),
            "route: output 1 is given twice (inputs 2 and 3): which one is meant is ambiguous");
        row("a link option twice", words("--timeout 300 info --timeout 500"),
            "--timeout given twice ('300' and '500'): which one is meant is ambiguous");
        row("edid copy without MONITOR", words("edid 4 1"),
            "edid: mode 1 (" + QString::fromUtf8(edidModes[0].item)
                + ") copies the EDID of a "
                  "monitor and needs MONITOR");
        row("serial name not in /dev", words("--serial ttyNoSuchLine info"),
            "--serial ttyNoSuchLine: there is no /dev/ttyNoSuchLine (a name without a directory "
            "is looked for in /dev); for a file here, give ./ttyNoSuchLine");
        // Restore asks for the counts, and sends nothing more when they differ.
        row("restore: from a device with other counts", words("restore FILE"),
            "FILE was taken from a device with 1 inputs and 1 outputs (B, M); this one has 16 "
            "inputs and 16 outputs: nothing sent",
            2, snapshot(R"({"output": 1, "input": 1})"), {refresh, query});
        row("restore: input 40 of 16", words("restore FILE"),
            R"(FILE: route {"input":40,"output":1} is not an output from 1 to 16 (once) with an )"
            "input from 0 to 16: nothing sent",
            2, snapshot(R"({"output": 1, "input": 40})", "16"));
        row("restore: a version to come", words("restore FILE"),
            "FILE: snapshot version 2 is not understood (this matrix-ctl reads version 1)", 2,
            snapshot(R"({"output": 1, "input": 1})", "1", "2"));
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
        // No map after the switch: whether the device took it is not known.
        row("device: no map after a switch", words("--timeout 300 route 1 2"),
            "could not confirm 1 routes: no routing map from ADDRESS within 300 ms", 1,
            "A:\004HDMIx04-04-SIM0");
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
        FakeMatrix device(FakeMatrix::Scripted, bytes, tag.contains("hangs up"));
        QStringList link = tag.startsWith("device: ") ? device.link() : sim.link();
        if (arguments.first() == "--serial")
            link.clear(); // the row's own
        if (tag.contains("refused connection"))
            device.close(); // nobody listens on the port any more
        const QString file = m_dir.filePath("snapshot.json");
        QVERIFY(!arguments.contains("FILE") || writeFile(file, bytes));
        arguments.replaceInStrings("FILE", file);
        message.replace("FILE", file).replace("ADDRESS", link.value(1));
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

    // One call against a device that misbehaves as the row says: what it shows (on stdout, or
    // on stderr when it fails) and how often the device got "*!" (-1: at least twice, asked
    // again when no map came; -2: any number).
    void unaskedReplies_data()
    {
        columns<int, QString, int, QString, int>({"fault", "call", "exitCode", "shown", "queries"});
        auto row = [](const char *name, FakeMatrix::Fault fault, const char *call, int exitCode,
                      const char *shown, int queries) {
            QTest::newRow(name) << int(fault) << call << exitCode << QString::fromUtf8(shown)
                                << queries;
        };
        using F = FakeMatrix;
        row("map before the information: info", F::MapBeforeAnswer, "info", 0, "outputs 16", 1);
        row("map before the information: route", F::MapBeforeAnswer, "route 5 9", 0,
            "output 5 \u2190 input 9", 0);
        row("another client's maps: info", F::OtherClient, "info", 0, "inputs  16", 1);
        row("another client's maps: route", F::OtherClient, "route 5 9 6 10", 0,
            "output 6 \u2190 input 10", -2);
        row("noise glued behind: info keeps its counts", F::NoiseBehind, "info", 0, "outputs 16",
            1);
        row("paced, the first answer pushed out: the map before the information counts", F::Paced,
            "route 5 9", 0, "output 5 \u2190 input 9", 0);
        row("paced, one refused: the map asked for after silence judges", F::Paced,
            "route 5 9 6 17", 1, "did not take 1 of 2 routes: output 6 is on input 1, not 17", 1);
        row("no map ever: could not confirm, after asking again", F::NoMaps,
            "--timeout 600 route 5 9", 1, "could not confirm 1 routes", -1);
    }
    void unaskedReplies()
    {
        QFETCH(int, fault);
        QFETCH(QString, call);
        QFETCH(int, exitCode);
        QFETCH(QString, shown);
        QFETCH(int, queries);
        FakeMatrix device {FakeMatrix::Fault(fault)};
        RUN(run, device.link() + call.split(' '));
        const QString text = exitCode == 0 ? QString::fromUtf8(run.out) : run.err;
        QVERIFY2(run.exitCode() == exitCode && text.contains(shown), qPrintable(text));
        const int asked = int(device.commands.count(queryCommand()));
        QVERIFY2(queries == -2 || (queries == -1 ? asked >= 2 : asked == queries),
                 qPrintable(QString("asked for the map %1 times").arg(asked)));
    }

    // Calls that share the device, all of which succeed: 20 at once on TCP, each seeing the
    // others' switches announced in its stream; 6 in a row on the pty, which paces its replies
    // and drops the oldest, so that each starts while the last one's answers are on the line.
    void callsSharingTheDevice_data()
    {
        columns<bool, int>({"pty", "calls"});
        QTest::newRow("20 at once over TCP, info and route") << false << 20;
        QTest::newRow("6 in a row on the pty") << true << 6;
    }
    void callsSharingTheDevice()
    {
        QFETCH(bool, pty);
        QFETCH(int, calls);
        Sim sim(16, 16, 0, false, 300);
        const QStringList link = sim.link(pty);
        QVERIFY(!link.isEmpty());
        std::vector<std::unique_ptr<Ctl>> running;
        for (int i = 0; i < calls; ++i) {
            const QString output = QString::number(pty ? i + 1 : i / 2 + 1);
            const QStringList call = i % 2 && !pty
                ? QStringList {"info"}
                : QStringList {"route", output, pty ? "9" : output};
            running.push_back(std::make_unique<Ctl>(link + call));
            for (int done = pty ? i : 0; (pty || i == calls - 1) && done <= i; ++done) {
                Ctl &run = *running[done];
                QVERIFY2(run.finished() && run.exitCode() == 0,
                         qPrintable(run.arguments().join(' ') + ": " + run.err));
            }
        }
        for (int output = 1; output <= (pty ? 6 : 10); ++output)
            QCOMPARE(sim.server.device().routing().at(output - 1), pty ? 9 : output);
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
        sim.switchAsAnotherClient(5, 9);
        if (call == "watch" && printed(lines.size()))
            watch.terminate(); // SIGTERM
        QVERIFY2(watch.finished() && watch.exitCode() == 0, watch.out.constData());
        QStringList seen;
        for (const QByteArray &line : watch.out.trimmed().split('\n')) {
            const QJsonValue reply = QJsonDocument::fromJson(line)["reply"];
            const QJsonValue input = reply["routes"][4]["input"]; // 0 when none
            seen << reply["kind"].toString() + " " + QString::number(input.toInt());
        }
        QCOMPARE(seen, lines);
    }

    // Every command's JSON, done and failed, is what docs/cli-json.md says: one document per
    // line (one per reply for watch), nothing undocumented, nothing missing, and the row's
    // PROBE ("path=value") holds in the last document. Rows named "device: ..." talk to a
    // scripted device that answers with BYTES.
    void jsonAsDocumented_data()
    {
        columns<QStringList, int, QString, QByteArray>({"arguments", "exitCode", "probe", "bytes"});
        auto row
            = [](const char *line, int exitCode, const char *probe, const QByteArray &bytes = {}) {
                  const QString name = QString::fromUtf8(line);
                  QStringList arguments = words(line);
                  if (name.startsWith("device: "))
                      arguments = arguments.mid(1);
                  QTest::newRow(line) << arguments << exitCode << QString(probe) << bytes;
              };
        row("info", 0, "device/outputs=12");
        row("routes", 0, "routes/11/output=12");
        row("--pretty routes", 0, "routes/11/input=5");
        row("route 1 2 3 4", 0, "routes/1/state=taken");
        row("route 17 1", 1, "routes/0/state=not taken");
        row("route 12 7 3 99", 1, "routes/0/found=3");
        row("device: route 1 2", 1, "routes/0/state=unconfirmed", "A:\004HDMIx04-04-SIM0");
        row("save-plan 3", 0, "sent/0/text=*: SAVEPLAN 3!");
        row("recall-plan 5", 0, "routes/11/input=5");
        row("output-resolution 4 1080p", 0,
            "sent/0/hex=" + bytesToHexText(outputResolution("4", 0).commands[0]).toUtf8());
        row("edid 4 1 5", 0, "ok=true");
        row("output-resolution 73 1080p", 2, "refusal/maximum=72");
        row("send *?!", 0, "replies/0/device/model=HDMIx16-12-SIM0");
        row("device: send *?!", 0, "replies/0/bytes/text=\xc3\xbf\x01 x", "\xff\x01 x");
        row("list", 0, "edid/0/number=1");
        row("watch --count 2", 0, "reply/routes/4/output=5");
        row("snapshot FILE", 0, "routes/11/input=5");
        row("restore FILE", 0, "routes/0/state=taken");
        row("restore FILE --timeout 5 --timeout 6", 2, "exitCode=2");
        row("reboot", 2, "command=reboot");
        row("device: info", 1, "error=the device closed the connection");
    }
    void jsonAsDocumented()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, probe);
        QFETCH(QByteArray, bytes);
        QVERIFY2(m_schema.envelope.size() >= 5 && m_schema.documents.size() >= 10,
                 "docs/cli-json.md has lost its tables");
        Sim sim(16, 12);
        sim.server.device().setRoute(12, 5);
        sim.server.device().handleCommand(plan(PlanAction::Save, "5").commands.constFirst());
        FakeMatrix device(FakeMatrix::Scripted, bytes, arguments.first() == "info");
        const bool scripted = QByteArray(QTest::currentDataTag()).startsWith("device: ");
        const QString file = m_dir.filePath("schema.json");
        QFile::remove(file);
        if (arguments.first() == "restore") { // a file of this device, then one route changed
            RUN(snapshot, sim.link() + QStringList {"snapshot", file});
            sim.server.device().setRoute(1, 2);
        }
        arguments.replaceInStrings("FILE", file);
        Ctl run((scripted ? device.link() : sim.link()) + QStringList {"--json"} + arguments);
        if (arguments.first() == "watch") { // the second reply: another client's switch
            QVERIFY2(waitFor([&] { return run.out.contains('\n'); }), "no first reply");
            sim.switchAsAnotherClient(5, 9);
        }
        QVERIFY2(run.finished(), qPrintable(run.err));
        QCOMPARE(run.exitCode(), exitCode);
        const bool pretty = arguments.contains("--pretty");
        const QList<QByteArray> lines = pretty ? QList<QByteArray> {run.out} : run.out.split('\n');
        QCOMPARE(lines.last(), pretty ? run.out : ""); // every document ends its line
        QCOMPARE(lines.size() - !pretty, arguments.first() == "watch" ? 2 : 1);
        QJsonObject last;
        for (const QByteArray &line : lines.mid(0, lines.size() - !pretty)) {
            QJsonParseError error;
            last = QJsonDocument::fromJson(line, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
            const QString why = m_schema.checkDocument(last);
            QVERIFY2(why.isEmpty(), qPrintable(why + "\n" + line));
            QVERIFY2(m_schema.documents.contains(last["command"].toString())
                         || last["error"].toString().startsWith("unknown command"),
                     line.constData());
        }
        QCOMPARE(valueAt(last, probe.section('=', 0, 0)), probe.section('=', 1));
    }

    // Output that cannot be written fails the call (exit 1, the system's message); a snapshot
    // file already there is kept. REDIRECT: where stdout goes; "RO" is a read-only directory.
    void outputThatCannotBeWritten_data()
    {
        columns<QStringList, QString, QString>({"arguments", "redirect", "message"});
        const QString full = "cannot write to standard output: No space left on device";
        QTest::newRow("info") << words("info") << "/dev/full" << full;
        QTest::newRow("snapshot -") << words("snapshot -") << "/dev/full"
                                    << "cannot write the snapshot to standard output: No space "
                                       "left on device";
        QTest::newRow("snapshot /dev/full") << words("snapshot /dev/full") << ""
                                            << "cannot write /dev/full: No space left on device";
        QTest::newRow("snapshot into a read-only directory") << words("snapshot RO/rack.json") << ""
                                                             << "cannot write RO/rack.json: ";
    }
    void outputThatCannotBeWritten()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, redirect);
        QFETCH(QString, message);
        Sim sim;
        const QString ro = m_dir.filePath("ro"), kept = ro + "/rack.json";
        QVERIFY(QDir().mkpath(ro) && writeFile(kept, "the snapshot of yesterday"));
        const auto writable = QFile::permissions(ro);
        QVERIFY(QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner));
        arguments.replaceInStrings("RO", ro);
        message.replace("RO", ro);
        // root writes anywhere: the same without the capabilities that let it
        const QStringList unprivileged {"setpriv", "--bounding-set=-all", "--inh-caps=-all"};
        Ctl run(
            sim.link() + arguments,
            [&](QProcess &p) {
                if (!redirect.isEmpty())
                    p.setStandardOutputFile(redirect);
            },
            ::geteuid() == 0 ? unprivileged : QStringList());
        const bool ended = run.finished();
        QFile::setPermissions(ro, writable);
        QVERIFY2(ended, qPrintable(run.err));
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(run.err.startsWith("matrix-ctl: " + message), qPrintable(run.err));
        QCOMPARE(readFile(kept), QByteArray("the snapshot of yesterday"));
    }

    // watch | head -1: watch ends once its reader has gone, as a filter does, killed by
    // SIGPIPE (the pipeline's status for it: 128 + 13), though nothing else ends it.
    void watchEndsWhenItsReaderHasGone_data()
    {
        columns<QStringList>({"format"});
        QTest::newRow("lines") << QStringList();
        QTest::newRow("JSON Lines") << QStringList {"--json"};
    }
    void watchEndsWhenItsReaderHasGone()
    {
        QFETCH(QStringList, format);
        Sim sim;
        const QStringList pipeline {"/bin/bash", "-c",
                                    R"("$0" "$@" | head -n 1; exit "${PIPESTATUS[0]}")"};
        Ctl watch(sim.link() + format + QStringList {"watch"}, {}, pipeline);
        QVERIFY2(waitFor([&] { return watch.out.contains('\n'); }, 10000), "no first line");
        QTimer switches; // until watch has written into the closed pipe
        connect(&switches, &QTimer::timeout,
                [&, input = 0]() mutable { sim.switchAsAnotherClient(5, ++input % 16 + 1); });
        switches.start(50);
        QVERIFY2(watch.finished(), "watch still runs with nobody reading");
        QCOMPARE(watch.out.count('\n'), 1);
        QCOMPARE(watch.exitCode(), 128 + 13); // SIGPIPE
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
