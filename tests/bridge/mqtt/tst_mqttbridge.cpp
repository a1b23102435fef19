// matrix-bridge with its MQTT side, as a user runs it: the real program
// between the in-process simulator (TCP on loopback) and Debian's
// mosquitto, with matrix-ctl and plain MQTT clients beside it.

#include "mosquittobroker.h"
#include "mqttrecorder.h"
#include "sim/simserver.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <signal.h>

namespace {

constexpr int waitMs = 5000;

bool waitFor(const std::function<bool()> &done, int ms = waitMs)
{
    return QTest::qWaitFor(done, ms);
}

// A program beside the event loop, its output collected as it comes.
struct Program : QProcess
{
    Program(const char *executable, const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { out += QString::fromUtf8(readAllStandardOutput()); });
        connect(this, &QProcess::readyReadStandardError,
                [this] { log += QString::fromUtf8(readAllStandardError()); });
        start(QString::fromUtf8(executable), arguments);
    }
    ~Program() override
    {
        terminate();
        if (!waitForFinished(waitMs))
            kill();
        waitForFinished(waitMs);
    }
    bool ended()
    {
        return waitFor([this] { return state() == NotRunning; }, 20000);
    }
    // The port the bridge printed for its clients; 0 until then.
    quint16 clientPort() const
    {
        return QRegularExpression("listen 127.0.0.1:(\\d+)\n").match(out).captured(1).toUShort();
    }
    QString out;
    QString log;
};

} // namespace

class TestMqttBridge : public QObject
{
    Q_OBJECT

    MosquittoBroker broker;
    QScopedPointer<SimServer> sim;
    QScopedPointer<Program> bridge;
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
    // The bridge up, its availability online for the recorder.
    bool startBridge(MqttRecorder &recorder)
    {
        bridge.reset(new Program(
            MATRIX_BRIDGE_EXECUTABLE,
            {"--tcp", "127.0.0.1:" + QString::number(sim->tcpPort()), "--listen", "127.0.0.1:0",
             "--mqtt", "127.0.0.1:" + QString::number(broker.port()), "--name", name, "--poll", "0",
             "--timeout", "1000", "--reconnect-min", "50", "--reconnect-max", "200"}));
        return waitFor([&] { return recorder.last(prefix + "/status") == "online"; })
            && bridge->clientPort() != 0;
    }
    QByteArray log() const { return bridge ? bridge->log.toUtf8() : QByteArray(); }

private slots:
    void initTestCase() { QVERIFY2(broker.start(), qPrintable(broker.log())); }
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

    // What `mosquitto_sub -t 'homeassistant/#'` shows once the bridge runs
    // (a select per output and one for plans), then a route set over MQTT
    // as Home Assistant does and one made by matrix-ctl: each reaches the
    // device and comes back as the retained state.
    void routesFromAnywhereReachTheState()
    {
        sim->device().setRoute(4, 6);
        MqttRecorder user(broker.port(), {"homeassistant/#", prefix + "/#"});
        QVERIFY2(startBridge(user), log());
        QTRY_VERIFY_WITH_TIMEOUT(user.has(prefix + "/output/8/name"), waitMs);
        const QString discovery = "homeassistant/select/matrix_" + name + "/";
        const auto &all = user.messages();
        QCOMPARE(std::count_if(all.cbegin(), all.cend(),
                               [&](const auto &m) { return m.topic.startsWith(discovery); }),
                 9);
        QCOMPARE(user.last(prefix + "/output/4/name"), QByteArray("Input 6"));
        QVERIFY(user.last(prefix + "/state").contains(R"("inputs":8)"));

        QVERIFY(user.publish(prefix + "/output/3/set", "Input 5"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->device().routeOf(3), 5, waitMs);
        QVERIFY(deviceGot.contains("*3<5!"));
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/output/3/name"), QByteArray("Input 5"),
                                  waitMs);

        Program ctl(
            MATRIX_CTL_EXECUTABLE,
            {"--tcp", "127.0.0.1:" + QString::number(bridge->clientPort()), "route", "2", "7"});
        QVERIFY2(ctl.ended() && ctl.exitCode() == 0, qPrintable(ctl.log));
        QTRY_COMPARE_WITH_TIMEOUT(user.last(prefix + "/output/2"), QByteArray("7"), waitMs);
        QCOMPARE(user.last(prefix + "/output/3"), QByteArray("5"));
        // An unchanged output is not published again.
        QCOMPARE(user.on(prefix + "/output/1").size(), 1);
    }

    void killedBridgeShowsOffline()
    {
        MqttRecorder watcher(broker.port(), {prefix + "/status"});
        QVERIFY2(startBridge(watcher), log());
        ::kill(static_cast<pid_t>(bridge->processId()), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("offline"), waitMs);
        // The broker's will is retained: a dashboard started later sees it too.
        MqttRecorder later(broker.port(), {prefix + "/status"});
        QTRY_COMPARE_WITH_TIMEOUT(later.last(prefix + "/status"), QByteArray("offline"), waitMs);
    }

    // The device goes away: offline, commands refused and never replayed;
    // back online once the bridge has reconnected.
    void deviceDown()
    {
        MqttRecorder user(broker.port(), {prefix + "/status"});
        QVERIFY2(startBridge(user), log());
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
};

QTEST_GUILESS_MAIN(TestMqttBridge)
#include "tst_mqttbridge.moc"
