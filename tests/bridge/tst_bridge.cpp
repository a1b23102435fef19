// matrix-bridge with real components on loopback: the in-process simulator
// over TCP and its pty, matrix-ctl as scripts run it, the console window as
// the end-to-end tests drive it, and plain sockets where a client must
// misbehave. The bridge's log lines are what an operator reads, so the
// tests wait for them.

#include "bridge/clientserver.h"
#include "bridge/eventlog.h"
#include "bridge/matrixbridge.h"
#include "sim/simserver.h"
#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"

#include <QtNetwork>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int waitMs = 5000;

bool waitFor(const std::function<bool()> &done, int ms = waitMs)
{
    return QTest::qWaitFor(done, ms);
}

// A client of the bridge (or of the simulator) keeping all it received.
struct Client : QTcpSocket
{
    explicit Client(quint16 port)
    {
        connect(this, &QTcpSocket::readyRead, [this] { got += readAll(); });
        connectToHost(QHostAddress::LocalHost, port);
    }
    bool connected()
    {
        return waitFor([this] { return state() == ConnectedState; });
    }
    QByteArray got;
};

// matrix-ctl beside the event loop, its output collected as it comes.
struct Ctl : QProcess
{
    explicit Ctl(quint16 port, const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { out += readAllStandardOutput(); });
        start(QStringLiteral(MATRIX_CTL_EXECUTABLE),
              QStringList {"--tcp", "127.0.0.1:" + QString::number(port)} + arguments);
    }
    bool succeeded()
    {
        const bool ended = waitFor([&] { return state() == NotRunning; }, 20000);
        out += readAllStandardOutput();
        err = QString::fromUtf8(readAllStandardError());
        return ended && exitStatus() == NormalExit && exitCode() == 0;
    }
    QString out;
    QString err;
};

// A device on loopback that answers the bridge's two questions, or stays
// silent, and otherwise does what the test tells it.
struct ScriptedDevice : QTcpServer
{
    explicit ScriptedDevice(bool answers)
    {
        connect(this, &QTcpServer::newConnection, [this, answers] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                ++connections;
                link = socket;
                connect(socket, &QTcpSocket::readyRead, [socket, answers] {
                    const QByteArray asked = socket->readAll();
                    if (answers && asked.contains("*?!"))
                        socket->write(QByteArray("A:\x04HDMIx08-08-SIM0", 18));
                    if (answers && asked.contains("*!"))
                        socket->write("A:0102030405060708");
                });
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }
    int connections = 0;
    QPointer<QTcpSocket> link;
};

} // namespace

class TestBridge : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QScopedPointer<SimServer> sim;
    QScopedPointer<MatrixBridge> bridge;
    QScopedPointer<ClientServer> clients; // goes before the bridge it serves
    QStringList log;
    QList<QByteArray> deviceGot; // every command as the simulator framed it

    bool startSim(quint16 port = 0)
    {
        SimServer::Options o;
        o.port = port;
        o.ptyReplyGapMs = 100; // paced, but quick
        sim.reset(new SimServer(o));
        sim->device().setPortCounts(12, 8);
        connect(sim.data(), &SimServer::commandHandled, this,
                [this](const QString &, const QByteArray &bytes) { deviceGot << bytes; });
        return sim->listenTcp();
    }
    // Quick timings, so that a fault shows in well under a second. The
    // device is the simulator on TCP, or on a pty at the path given.
    BridgeOptions optionsFor(const QString &pty = QString()) const
    {
        BridgeOptions o;
        o.listen.port = 0;
        o.link.timeoutMs = 1000;
        o.reconnectMinMs = 50;
        o.reconnectMaxMs = 200;
        o.pollMs = 0;
        o.readOnlyListen = {QHostAddress(QHostAddress::LocalHost), 0};
        o.link.kind
            = pty.isEmpty() ? devicelink::LinkOptions::Tcp : devicelink::LinkOptions::Serial;
        o.link.host = QStringLiteral("127.0.0.1");
        o.link.port = sim ? sim->tcpPort() : 0;
        o.link.serialPath = pty;
        o.link.baud = 115200;
        return o;
    }
    bool startBridge(const BridgeOptions &o, bool waitUntilUp = true)
    {
        bridge.reset(new MatrixBridge(o));
        clients.reset(new ClientServer(bridge.data(), o.maxClients));
        if (!clients->listen(o.listen, false)
            || (o.readOnlyListen.enabled() && !clients->listen(o.readOnlyListen, true)))
            return false;
        bridge->start();
        return !waitUntilUp || waitFor([this] { return bridge->isUp(); });
    }
    int logged(const QString &text) const { return log.filter(text).size(); }
    bool waitForLog(const QString &text, int ms = waitMs)
    {
        return waitFor([&] { return logged(text) > 0; }, ms);
    }
    QByteArray lines() const { return log.join('\n').toUtf8(); }

private slots:
    void init()
    {
        log.clear();
        deviceGot.clear();
        eventlog::setVerbose(true);
        eventlog::setSink([this](const QString &line) { log << line; });
    }
    void cleanup()
    {
        clients.reset();
        bridge.reset();
        sim.reset();
        eventlog::setSink({});
    }

    // Two matrix-ctl and a console through one bridge, the simulator behind
    // it on TCP or on its pty: a route made by one shows in the others.
    void routeSeenByEveryClient_data()
    {
        QTest::addColumn<bool>("pty");
        QTest::newRow("simulator on tcp") << false;
        QTest::newRow("simulator on its pty") << true;
    }
    void routeSeenByEveryClient()
    {
        QFETCH(bool, pty);
        QVERIFY(startSim() && (!pty || sim->openPty()));
        QVERIFY2(startBridge(optionsFor(pty ? sim->ptySlavePath() : QString())), lines());
        const quint16 port = clients->port(false);

        MessageBoxRecorder boxes;
        ctrlUi window;
        CtrlUiProbe probe(window);
        Ui_ctrlForm &ui = probe.ui();
        QVERIFY(probe.connectTcp(port));
        QVERIFY2(waitFor([&] { return ui.tWidgetOut->rowCount() == 8; }), qPrintable(probe.log()));
        auto consoleRoute = [&](int output) {
            return ui.tWidgetOut->model()->index(output - 1, 2).data().toString();
        };
        Ctl watch(port, {"watch"});
        QVERIFY2(waitFor([&] { return watch.out.contains("HDMIx12-08"); }), qPrintable(watch.out));

        Ctl route(port, {"route", "3", "5"});
        QVERIFY2(route.succeeded(), qPrintable(route.err));
        QVERIFY2(waitFor([&] { return consoleRoute(3) == QStringLiteral("输入5"); }),
                 qPrintable(probe.log()));
        QVERIFY2(waitFor([&] { return watch.out.contains(" 3\u21905 "); }), qPrintable(watch.out));

        ui.tWidgetIn->setCurrentCell(7 - 1, 0);
        ui.tWidgetOut->setCurrentCell(2 - 1, 0);
        ui.pBtnConnect->click(); // the console is on the bridge's loopback port
        QVERIFY2(waitFor([&] { return watch.out.contains(" 2\u21907 "); }), qPrintable(watch.out));
        Ctl routes(port, {"routes"});
        QVERIFY2(routes.succeeded(), qPrintable(routes.err));
        QVERIFY2(routes.out.contains("output 2 \u2190 input 7"), qPrintable(routes.out));
        QCOMPARE(consoleRoute(2), QStringLiteral("输入7"));
        watch.terminate();
        QVERIFY2(watch.succeeded(), qPrintable(watch.err));
        QCOMPARE(boxes.count(), 0);
    }

    // Three clients flood at once, each its own way of writing: every
    // command reaches the device whole, each client's in its order.
    void floodArrivesWholeInOrder_data()
    {
        QTest::addColumn<bool>("pty");
        QTest::addColumn<int>("gapMs");
        QTest::newRow("tcp, no gap") << false << 0;
        QTest::newRow("tcp, 2 ms gap") << false << 2;
        QTest::newRow("pty at 115200 baud, the wire's own gap") << true << 0;
    }
    void floodArrivesWholeInOrder()
    {
        QFETCH(bool, pty);
        QFETCH(int, gapMs);
        QVERIFY(startSim() && (!pty || sim->openPty()));
        BridgeOptions o = optionsFor(pty ? sim->ptySlavePath() : QString());
        o.commandGapMs = gapMs;
        QVERIFY2(startBridge(o), lines());

        constexpr int perClient = 40;
        QVector<QList<QByteArray>> sent(3);
        std::vector<std::unique_ptr<Client>> flooders;
        for (int k = 0; k < 3; ++k) {
            flooders.emplace_back(new Client(clients->port(false)));
            QVERIFY(flooders.back()->connected());
            for (int i = 0; i < perClient; ++i)
                sent[k] << (i % 2 ? QStringLiteral("*%1<%2!").arg(k + 1).arg(i % 12 + 1)
                                  : QStringLiteral("*>O%1 SETLD %2 END!").arg(k + 1).arg(100 + i))
                               .toLatin1();
        }
        const int before = deviceGot.size();
        flooders[0]->write(sent[0].join()); // one write
        const QByteArray all = sent[1].join();
        for (int at = 0; at < all.size(); at += 7) // pieces that cut commands
            flooders[1]->write(all.mid(at, 7));
        for (const QByteArray &command : sent[2]) // one write each
            flooders[2]->write(command);

        QVERIFY2(waitFor([&] { return deviceGot.size() - before >= 3 * perClient; }, 10000),
                 qPrintable(QString("%1 commands arrived").arg(deviceGot.size() - before)));
        const QList<QByteArray> got = deviceGot.mid(before);
        QCOMPARE(got.size(), 3 * perClient);
        for (int k = 0; k < 3; ++k) {
            const QByteArray digit = QByteArray::number(k + 1);
            QList<QByteArray> fromClient;
            std::copy_if(got.cbegin(), got.cend(), std::back_inserter(fromClient),
                         [&](const QByteArray &c) {
                             return c.startsWith("*" + digit) || c.startsWith("*>O" + digit);
                         });
            QCOMPARE(fromClient, sent[k]);
        }
    }

    // The link fails under the bridge; clients stay connected, what they
    // send meanwhile is dropped and never carried out later, and once the
    // link is back the device is asked for its information and map again.
    void deviceFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("simulator killed and started again")
            << "restart"
            << "lost: the device closed the connection";
        QTest::newRow("pty closed and opened again") << "pty"
                                                     << "lost: the serial line failed";
        QTest::newRow("device silent") << "silent"
                                       << "no answer from the device within 300 ms";
    }
    void deviceFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, logLine);
        const QString ptyLink = m_dir.filePath("ttyMatrix");
        ScriptedDevice silent(false);
        if (fault == "silent") {
            BridgeOptions o = optionsFor();
            o.link.port = silent.serverPort();
            o.link.timeoutMs = 300;
            QVERIFY(startBridge(o, false));
        } else {
            QVERIFY(startSim() && (fault != "pty" || sim->openPty(ptyLink)));
            QVERIFY2(startBridge(optionsFor(fault == "pty" ? ptyLink : QString())), lines());
        }
        Client client(clients->port(false));
        QVERIFY(client.connected());
        QVERIFY(waitForLog("client 127.0.0.1"));

        const quint16 simPort = sim ? sim->tcpPort() : 0;
        if (fault == "restart")
            sim.reset();
        else if (fault == "pty")
            sim->closePty();
        QVERIFY2(waitForLog(logLine), lines());
        client.write("*1<2!");
        QVERIFY2(waitForLog("dropped *1<2! from 127.0.0.1:"), lines());
        if (fault == "silent") {
            // Attempt after attempt meets the same silence: logged once.
            QVERIFY(waitFor([&] { return silent.connections >= 3; }));
            QCOMPARE(logged(logLine), 1);
            QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
            return;
        }

        deviceGot.clear();
        QVERIFY(fault == "restart" ? startSim(simPort) : sim->openPty(ptyLink));
        QVERIFY2(waitForLog(" up again: device A"), lines());
        client.write("*2<3!");
        QVERIFY(waitFor([&] { return deviceGot.contains("*2<3!"); }));
        QCOMPARE(deviceGot.mid(0, 2), (QList<QByteArray> {"*?!", "*!"}));
        QVERIFY2(!deviceGot.contains("*1<2!"), "a command sent while down was carried out later");
        QVERIFY(waitFor([&] { return client.got.endsWith("A:0103030405060708"); }));
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(logged(logLine), 1);
    }

    // What a client writes is cut at each "!" and reaches the device as the
    // bridge's verbose log shows it; a read-only client may only ask, the
    // rest it sends is dropped and logged.
    void commandsCut_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QStringList>("toDevice");
        QTest::addColumn<int>("dropped");
        QTest::newRow("two commands in one write")
            << false << QList<QByteArray> {"*1<2!*?!"} << QStringList {"*1<2!", "*?!"} << 0;
        QTest::newRow("one command over three writes")
            << false << QList<QByteArray> {"*1", "<", "2!"} << QStringList {"*1<2!"} << 0;
        QTest::newRow("bytes ahead of the star stay with their command")
            << false << QList<QByteArray> {"\r\n*!"} << QStringList {"\\x0d\\x0a*!"} << 0;
        QTest::newRow("no \"!\": sent as it is after a second")
            << false << QList<QByteArray> {"*1<2!*3<4"} << QStringList {"*1<2!", "*3<4"} << 0;
        QTest::newRow("read-only: the two requests pass, a switch does not")
            << true << QList<QByteArray> {"*?!*1<2!*!"} << QStringList {"*?!", "*!"} << 1;
        QTest::newRow("read-only: a plan recalled, a request with bytes ahead")
            << true << QList<QByteArray> {"*: CALLPLAN 1! *?!*!"} << QStringList {"*!"} << 2;
    }
    void commandsCut()
    {
        QFETCH(bool, readOnly);
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QStringList, toDevice);
        QFETCH(int, dropped);
        QVERIFY(startSim());
        QVERIFY2(startBridge(optionsFor()), lines());
        Client client(clients->port(readOnly));
        QVERIFY(client.connected());
        const QString from = QStringLiteral(" (127.0.0.1:%1)").arg(client.localPort());
        QElapsedTimer clock;
        clock.start();
        for (const QByteArray &bytes : writes) {
            client.write(bytes);
            QVERIFY(client.waitForBytesWritten(waitMs));
        }
        auto sent = [&] {
            QStringList commands;
            for (const QString &line : qAsConst(log)) {
                if (line.startsWith("to device: ") && line.endsWith(from))
                    commands << line.mid(11).chopped(from.size());
            }
            return commands;
        };
        // The last command passes in every row: once it is there, all
        // before it would have been.
        QVERIFY2(waitFor([&] { return sent().size() >= toDevice.size(); }), lines());
        QCOMPARE(sent(), toDevice);
        QCOMPARE(logged("the client is read-only"), dropped);
        if (!toDevice.last().endsWith('!'))
            QVERIFY2(clock.elapsed() >= 900, "an unterminated command went before its second");
        if (readOnly) { // it hears a switch made by another too
            Client operatorConsole(clients->port(false));
            QVERIFY(operatorConsole.connected() && operatorConsole.write("*5<6!") > 0);
            QVERIFY2(waitFor([&] { return client.got.endsWith("A:0102030406060708"); }),
                     client.got);
        }
    }

    // A client that reads nothing is cut off; the device and the client
    // that reads go on.
    void clientThatNeverReads()
    {
        ScriptedDevice device(true);
        BridgeOptions o = optionsFor();
        o.link.port = device.serverPort();
        QVERIFY2(startBridge(o), lines());
        Client reader(clients->port(false));
        QVERIFY(reader.connected());
        // A raw socket with a small receive buffer: the kernel cannot hide
        // the backlog from the bridge.
        const int stuck = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(stuck, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(clients->port(false));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(stuck, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        QVERIFY(waitFor([&] { return clients->clientCount() == 2; }));

        const QByteArray noise(64 * 1024, 'n');
        constexpr int writes = 40; // 2.5 MB
        for (int i = 0; i < writes; ++i)
            device.link->write(noise);
        QVERIFY2(waitForLog("cut off: not reading"), lines());
        QVERIFY(waitFor([&] { return reader.got.size() >= writes * noise.size(); }, 20000));
        QCOMPARE(clients->clientCount(), 1);
        QVERIFY(bridge->isUp());
        ::close(stuck);
    }

    // The poll finds what the bridge was not told; an unchanged map from
    // the poll reaches no client.
    void poll_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("clientsGet");
        QTest::newRow("at the front panel") << "panel" << QByteArray("A:0102030704050607");
        QTest::newRow("from a second connection to the simulator")
            << "second" << QByteArray("A:0102030704050607");
        QTest::newRow("nothing changed") << "none" << QByteArray();
    }
    void poll()
    {
        QFETCH(QString, change);
        QFETCH(QByteArray, clientsGet);
        constexpr int pollMs = 300;
        QVERIFY(startSim());
        for (int output = 1; output <= 8; ++output)
            sim->device().setRoute(output, output > 4 ? output - 1 : output);
        BridgeOptions o = optionsFor();
        o.pollMs = pollMs;
        QVERIFY2(startBridge(o), lines());
        QVERIFY(waitFor([&] { return bridge->routing().size() == 8; }));
        Client client(clients->port(false));
        Client direct(sim->tcpPort());
        QVERIFY(client.connected() && direct.connected());

        QElapsedTimer clock;
        clock.start();
        if (change == "panel")
            sim->device().setRoute(4, 7);
        else if (change == "second")
            direct.write("*4<7!");
        const int polls = logged("kept back");
        if (!clientsGet.isEmpty()) {
            QVERIFY2(waitFor([&] { return client.got == clientsGet; }, 2 * pollMs + 500),
                     client.got + "\n" + lines());
            QVERIFY2(clock.elapsed() <= pollMs + 500, qPrintable(QString::number(clock.elapsed())));
        }
        // Two more polls, unchanged: nothing more for the client.
        QVERIFY2(waitFor([&] { return logged("kept back") >= polls + 2; }, 4 * pollMs + 1000),
                 lines());
        QCOMPARE(client.got, clientsGet);
    }

    // The program itself: exit codes, a message that names the option, a
    // clean stop on SIGTERM. "says" is a pattern for stdout and stderr
    // together, line by line; a run with "SIGTERM" in its name is stopped
    // that way with a client on.
    void program_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("journal"); // JOURNAL_STREAM, as systemd sets it
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        auto row = [](const char *name, const QString &arguments, const char *journal, int exitCode,
                      const char *says) {
            QTest::newRow(name) << arguments.split(' ', Qt::SkipEmptyParts) << journal << exitCode
                                << says;
        };
        const char *running = "--tcp 127.0.0.1:9 --listen 127.0.0.1:0";
        row("bad option named", "--tcp 127.0.0.1:9 --listen 127.0.0.1:99999", "", 2,
            "--listen: '99999'");
        // MQTT files are read before anything listens: a mistake stops the
        // bridge at once, naming the option.
        const QString mqtt = "--tcp 127.0.0.1:9 --mqtt 127.0.0.1:1 ";
        row("labels file missing", mqtt + "--labels /nonexistent/l", "", 2,
            "labels /nonexistent/l: ");
        row("password file empty", mqtt + "--mqtt-user u --mqtt-password-file /dev/null", "", 2,
            "mqtt-password-file /dev/null: the first line is empty");
        row("password file without user", mqtt + "--mqtt-password-file /x", "", 2,
            "mqtt-password-file needs mqtt-user");
        row("CA file not PEM", mqtt + "--mqtt-tls-ca /dev/null", "", 2,
            "mqtt-tls-ca /dev/null: no PEM certificate");
        row("port taken", "--tcp 127.0.0.1:9 --listen 127.0.0.1:TAKEN", "", 1,
            "^matrix-bridge: cannot listen on 127.0.0.1:\\d+: ");
        row("help teaches a shared serial matrix", "--help", "", 0,
            "matrix-bridge --serial /dev/ttyUSB0 --baud 115200 --listen 0.0.0.0:8126");
        row("SIGTERM: lines time-stamped", running, "", 0,
            "^20\\d\\d-\\d\\d-\\d\\dT[\\d:.]+ stopping: closing 1 clients");
        row("SIGTERM under systemd: no time stamps of its own", running, "8:1234", 0,
            "^stopping: closing 1 clients");
    }
    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, journal);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        arguments.replaceInStrings("TAKEN", QString::number(taken.serverPort()));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("JOURNAL_STREAM");
        if (!journal.isEmpty())
            environment.insert("JOURNAL_STREAM", journal);
        program.setProcessEnvironment(environment);
        QString output;
        connect(&program, &QProcess::readyReadStandardOutput,
                [&] { output += program.readAllStandardOutput(); });
        program.start(QStringLiteral(MATRIX_BRIDGE_EXECUTABLE), arguments);
        if (QString(QTest::currentDataTag()).startsWith("SIGTERM")) {
            QVERIFY2(waitFor([&] { return output.contains("listen 127.0.0.1:"); }),
                     program.readAllStandardError());
            Client client(output.section(':', 1).trimmed().toUShort());
            QVERIFY(client.connected());
            QVERIFY(waitFor([&] { return program.readAllStandardError().contains("connected"); }));
            program.terminate();
            QVERIFY(waitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
        }
        QVERIFY(waitFor([&] { return program.state() == QProcess::NotRunning; }));
        output += program.readAllStandardOutput() + program.readAllStandardError();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        const QRegularExpression pattern(says, QRegularExpression::MultilineOption);
        QVERIFY2(pattern.match(output).hasMatch(), qPrintable(output));
        QCOMPARE(program.exitCode(), exitCode);
    }
};

QTEST_MAIN(TestBridge)
#include "tst_bridge.moc"
