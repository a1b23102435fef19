// matrix-bridge with its MQTT side, as a user runs it: the real program
// between the in-process simulator (TCP on loopback) and Debian's
// mosquitto, with matrix-ctl and plain MQTT clients beside it.

#include "mosquittobroker.h"
#include "mqttrecorder.h"
#include "sim/simserver.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <signal.h>

namespace {

constexpr int waitMs = 5000;

bool waitFor(const std::function<bool()> &done, int ms = waitMs)
{
    return QTest::qWaitFor(done, ms);
}

// The bridge's process, its printed port and its log collected as they come.
struct BridgeProcess : QProcess
{
    explicit BridgeProcess(const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { out += QString::fromUtf8(readAllStandardOutput()); });
        connect(this, &QProcess::readyReadStandardError,
                [this] { log += QString::fromUtf8(readAllStandardError()); });
        start(QStringLiteral(MATRIX_BRIDGE_EXECUTABLE), arguments);
    }
    ~BridgeProcess() override
    {
        if (state() != NotRunning) {
            terminate();
            if (!waitForFinished(waitMs))
                kill();
            waitForFinished(waitMs);
        }
    }
    // The port the bridge printed for its clients; 0 until then.
    quint16 clientPort() const
    {
        const int at = out.indexOf(QLatin1String("listen 127.0.0.1:"));
        if (at < 0 || !out.mid(at).contains(QLatin1Char('\n')))
            return 0;
        const int start = at + int(qstrlen("listen 127.0.0.1:"));
        return out.mid(start, out.indexOf(QLatin1Char('\n'), start) - start).toUShort();
    }
    QString out;
    QString log;
};

struct Ctl : QProcess
{
    explicit Ctl(const QStringList &arguments)
    {
        start(QStringLiteral(MATRIX_CTL_EXECUTABLE), arguments);
    }
    bool succeeded()
    {
        const bool ended = waitFor([&] { return state() == NotRunning; }, 20000);
        return ended && exitStatus() == NormalExit && exitCode() == 0;
    }
};

} // namespace

class TestMqttBridge : public QObject
{
    Q_OBJECT

    MosquittoBroker *broker = nullptr;
    QScopedPointer<SimServer> sim;
    QScopedPointer<BridgeProcess> bridge;
    QList<QByteArray> deviceGot;
    // Each test has a bridge of its own name, so that what an earlier test
    // left retained on the shared broker cannot pass for this one's state.
    QString name;
    QString prefix;

    bool startSim(quint16 port = 0)
    {
        SimServer::Options o;
        o.port = port;
        sim.reset(new SimServer(o));
        sim->device().setPortCounts(8, 8);
        connect(sim.data(), &SimServer::commandHandled, this,
                [this](const QString &, const QByteArray &bytes) { deviceGot << bytes; });
        return sim->listenTcp();
    }
    bool startBridge(const QStringList &extra = {})
    {
        bridge.reset(new BridgeProcess(
            QStringList {"--tcp", "127.0.0.1:" + QString::number(sim->tcpPort()), "--listen",
                         "127.0.0.1:0", "--mqtt", "127.0.0.1:" + QString::number(broker->port()),
                         "--name", name, "--poll", "0", "--timeout", "1000", "--reconnect-min",
                         "50", "--reconnect-max", "200"}
            + extra));
        // A bridge that exits (a bad option) fails the wait at once.
        return waitFor([this] {
                   return bridge->clientPort() != 0 || bridge->state() == QProcess::NotRunning;
               })
            && bridge->clientPort() != 0;
    }
    QByteArray log() const { return bridge ? bridge->log.toUtf8() : QByteArray(); }

private slots:
    void initTestCase()
    {
        broker = new MosquittoBroker;
        QVERIFY2(broker->start(), qPrintable(broker->log()));
    }
    void cleanupTestCase() { delete broker; }
    void init()
    {
        deviceGot.clear();
        name = QStringLiteral("e2e-%1").arg(QTest::currentTestFunction());
        prefix = "matrix-bridge/" + name;
        QVERIFY(startSim());
    }
    void cleanup()
    {
        bridge.reset();
        sim.reset();
    }

    // What `mosquitto_sub -t 'homeassistant/#'` shows once the bridge runs:
    // a select per output, a plan select, the state of every output.
    void discoveryAndStateAfterStart()
    {
        sim->device().setRoute(4, 6);
        QVERIFY2(startBridge(), log());
        MqttRecorder watcher(broker->port(), {"homeassistant/#", prefix + "/#"});
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("online"), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(watcher.has(prefix + "/output/8/name"), waitMs);
        int selects = 0;
        for (const auto &message : watcher.messages())
            selects
                += message.topic.startsWith("homeassistant/select/matrix_" + name + "/") ? 1 : 0;
        QCOMPARE(selects, 9);
        QCOMPARE(watcher.last(prefix + "/output/4"), QByteArray("6"));
        QCOMPARE(watcher.last(prefix + "/output/4/name"), QByteArray("Input 6"));
        QVERIFY(watcher.last(prefix + "/state").contains(R"("inputs":8)"));
    }

    // The select's option, published as Home Assistant does, reaches the
    // device and comes back as the retained state.
    void routeSetOverMqtt()
    {
        QVERIFY2(startBridge(), log());
        MqttRecorder user(broker->port(), {prefix + "/#"});
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/status"), QByteArray("online"), waitMs);
        QVERIFY(user.publish(prefix + "/output/3/set", "Input 5"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->device().routeOf(3), 5, waitMs);
        QVERIFY(deviceGot.contains("*3<5!"));
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/output/3"), QByteArray("5"), waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/output/3/name"), QByteArray("Input 5"),
                                  waitMs);
    }

    void routeByCtlUpdatesMqtt()
    {
        QVERIFY2(startBridge(), log());
        MqttRecorder watcher(broker->port(), {prefix + "/#"});
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/2"), QByteArray("2"), waitMs);
        Ctl ctl({"--tcp", "127.0.0.1:" + QString::number(bridge->clientPort()), "route", "2", "7"});
        QVERIFY2(ctl.succeeded(), ctl.readAllStandardError());
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/2"), QByteArray("7"), waitMs);
    }

    void killedBridgeShowsOffline()
    {
        QVERIFY2(startBridge(), log());
        MqttRecorder watcher(broker->port(), {prefix + "/status"});
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("online"), waitMs);
        ::kill(static_cast<pid_t>(bridge->processId()), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("offline"), waitMs);
        // The broker's will is retained: a dashboard started later sees it too.
        MqttRecorder later(broker->port(), {prefix + "/status"});
        QTRY_COMPARE_WITH_TIMEOUT(later.last(prefix + "/status"), QByteArray("offline"), waitMs);
    }

    // The device goes away: offline, commands refused and never replayed;
    // back online once the bridge has reconnected.
    void deviceDown()
    {
        QVERIFY2(startBridge(), log());
        MqttRecorder user(broker->port(), {prefix + "/status"});
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/status"), QByteArray("online"), waitMs);
        const quint16 port = sim->tcpPort();
        sim.reset();
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/status"), QByteArray("offline"), waitMs);
        QVERIFY(user.publish(prefix + "/output/1/set", "8"));
        QTRY_VERIFY2_WITH_TIMEOUT(bridge->log.contains("the device link is down"), log(), waitMs);

        deviceGot.clear();
        QVERIFY(startSim(port));
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/status"), QByteArray("online"), waitMs);
        QVERIFY(user.publish(prefix + "/output/2/set", "3"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->device().routeOf(2), 3, waitMs);
        QVERIFY2(!deviceGot.contains("*1<8!"), "a refused command was replayed");
        QCOMPARE(sim->device().routeOf(1), 1);
    }

    // Bad MQTT files stop the bridge before it starts, naming the option.
    void badLabelsFileIsAUsageError()
    {
        QTemporaryDir dir;
        QFile labels(dir.filePath("labels"));
        QVERIFY(labels.open(QIODevice::WriteOnly));
        labels.write("input.1 = 7\n");
        labels.close();
        bridge.reset(new BridgeProcess({"--tcp", "127.0.0.1:" + QString::number(sim->tcpPort()),
                                        "--listen", "127.0.0.1:0", "--mqtt", "127.0.0.1:1",
                                        "--labels", labels.fileName()}));
        QVERIFY(waitFor([this] { return bridge->state() == QProcess::NotRunning; }));
        QCOMPARE(bridge->exitCode(), 2);
        QVERIFY2(bridge->log.contains("labels") && bridge->log.contains("line 1"), log());
    }
};

QTEST_GUILESS_MAIN(TestMqttBridge)
#include "tst_mqttbridge.moc"
