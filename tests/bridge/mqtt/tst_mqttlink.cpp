// MqttLink against Debian's mosquitto on loopback: what it keeps on the
// broker, what it takes from it, and how it lives through the broker, the
// device and itself going away.

#include "bridge/mqtt/mqttlink.h"
#include "mosquittobroker.h"
#include "mqttrecorder.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int waitMs = 5000;
// Long enough for a reconnect after the first back-off steps.
constexpr int reconnectWaitMs = 15000;

QString writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

// The link under test with its log and its commands recorded.
struct Bridge
{
    explicit Bridge(const MqttOptions &options)
        : link(options)
        , commands(&link, &MqttLink::commandReady)
    {
        QObject::connect(&link, &MqttLink::logLine, [this](const QString &line) { log << line; });
    }
    // Up, input 2 on output 1, nothing on output 2, input 9 (past the
    // count) on output 4.
    void feedDevice(int inputs = 4, int outputs = 4)
    {
        StatusReply reply;
        reply.kind = StatusReply::DeviceInformation;
        reply.deviceLetter = QStringLiteral("A");
        reply.model = QStringLiteral("HDM-44");
        reply.inputs = inputs;
        reply.outputs = outputs;
        reply.countsAccepted = true;
        link.setDeviceUp(true);
        link.setInformation(reply);
        link.setRouting(QVector<int> {2, 0, 3, 9}.mid(0, outputs));
    }
    int logged(const QString &part) const { return log.filter(part).size(); }
    QByteArray lines() const { return log.join('\n').toUtf8(); }

    MqttLink link;
    QSignalSpy commands;
    QStringList log;
};

// A self-signed certificate for 127.0.0.1, NAME.key and NAME.crt in dir:
// the broker's own, or one that no broker uses.
bool makeCertificate(const QString &dir, const QString &name)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                   name + ".key", "-out", name + ".crt"});
    const bool ok = openssl.waitForFinished(20000) && openssl.exitCode() == 0;
    if (!ok)
        qWarning() << "openssl" << openssl.readAll();
    return ok;
}

} // namespace

class TestMqttLink : public QObject
{
    Q_OBJECT

    // One broker for the file; a test that needs a guarded one starts its own.
    std::unique_ptr<MosquittoBroker> broker;
    // Each run has a name of its own, so that what an earlier one left
    // retained on the shared broker cannot pass for this one's state.
    int runs = 0;
    QString name;
    QString prefix;

    MqttOptions optionsFor(const MosquittoBroker &on) const
    {
        MqttOptions options;
        options.host = QStringLiteral("127.0.0.1");
        options.port = on.port();
        options.name = name;
        return options;
    }
    QString discovery(const QString &entity) const
    {
        return "homeassistant/select/matrix_" + name + "/" + entity + "/config";
    }

private slots:
    void initTestCase()
    {
        broker = std::make_unique<MosquittoBroker>();
        QVERIFY2(broker->start(), qPrintable(broker->log()));
    }
    void init()
    {
        name = QStringLiteral("rack%1").arg(++runs);
        prefix = "matrix-bridge/" + name;
    }

    // A client that comes later finds the state and the entities stored on
    // the broker.
    void retainedAfterStart()
    {
        Bridge bridge(optionsFor(*broker));
        bridge.feedDevice();
        QVERIFY2(bridge.link.start(), qPrintable(bridge.link.errorString()));
        // The status goes last: once a first client has it, all is stored.
        MqttRecorder first(broker->port(), {prefix + "/status"});
        QTRY_VERIFY_WITH_TIMEOUT(first.has(prefix + "/status"), waitMs);
        MqttRecorder watcher(broker->port(), {prefix + "/#", "homeassistant/#"});
        const QStringList stored {prefix + "/status", prefix + "/state", prefix + "/output/4/name",
                                  discovery("output_1"), discovery("plan_recall")};
        auto hasAll = [&] {
            return std::all_of(stored.cbegin(), stored.cend(),
                               [&](const QString &topic) { return watcher.has(topic); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(hasAll(), waitMs);
        for (const QString &topic : stored)
            QVERIFY2(watcher.on(topic).constFirst().retained, qPrintable(topic));
        QCOMPARE(watcher.last(prefix + "/status"), QByteArray("online"));
        QCOMPARE(watcher.last(prefix + "/state"),
                 QByteArray(R"({"inputs":4,"letter":"A","model":"HDM-44","outputs":4,)"
                            R"("routes":[2,0,3,9]})"));
    }

    // A command message and the one command line it makes, or (none) the
    // reason it is refused: logged once, nothing sent.
    void commandFromPayload_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("retain");
        QTest::addColumn<bool>("deviceUp");
        QTest::addColumn<QString>("outcome"); // a command line, or the refusal's reason
        auto row = [](const char *name, const char *topic, const QByteArray &payload,
                      const char *outcome, bool retain = false, bool deviceUp = true) {
            QTest::newRow(name) << topic << payload << retain << deviceUp << outcome;
        };
        const char *set = "/output/1/set";
        row("input number", "/output/2/set", "3", "*2<3!");
        row("input label", "/output/2/set", "Camera", "*2<2!");
        row("unlabelled input's default name", "/output/4/set", "Input 3", "*4<3!");
        row("label in UTF-8", set, "Kamera ü", "*1<4!");
        row("leading zeros dropped", set, "04", "*1<4!");
        row("newline from a shell ignored", set, "4\n", "*1<4!");
        row("recall plan", "/plan/recall", "7", "*: CALLPLAN 7!");
        row("save plan, highest", "/plan/save", "30", "*: SAVEPLAN 30!");
        row("refused: zero", set, "0", "is below 1");
        row("refused: letters", set, "abc", "neither an input number nor an input's name");
        row("refused: past two digits", set, "100", "is above 99");
        row("refused: one megabyte", set, QByteArray(1 << 20, '1'), "1048576 bytes is longer than");
        row("refused: JSON where a number belongs", set, R"({"input":3})",
            "neither an input number");
        row("refused: an output's label", set, "Projector", "neither an input number");
        row("refused: empty", set, "", "is empty");
        row("refused: input the device lacks", set, "5", "input 5 does not exist");
        row("refused: output the device lacks", "/output/5/set", "1", "output 5 does not exist");
        row("refused: plan 31", "/plan/recall", "31", "is above 30");
        row("refused: plan by name", "/plan/save", "Plan 3", "not a plain number");
        row("refused: retained command", set, "2", "retained commands are not carried out", true);
        row("refused: device link down", set, "2", "the device link is down", false, false);
    }
    void commandFromPayload()
    {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(bool, retain);
        QFETCH(bool, deviceUp);
        QFETCH(QString, outcome);
        MqttOptions options = optionsFor(*broker);
        options.labelsFile
            = writeFile(broker->path("labels.conf"),
                        "input.2 = Camera\ninput.4 = Kamera ü\noutput.1 = Projector\n");
        Bridge bridge(options);
        bridge.feedDevice();
        bridge.link.setDeviceUp(deviceUp);
        MqttRecorder sender(broker->port(), {prefix + "/status", prefix + topic});
        QVERIFY(sender.waitConnected());
        if (retain) {
            // Stored on the broker before the bridge comes: what a reconnect
            // finds. (Live messages reach subscribers without the flag.)
            QVERIFY(sender.publish(prefix + topic, payload, true));
            QTRY_VERIFY_WITH_TIMEOUT(sender.has(prefix + topic), waitMs);
        }
        QVERIFY(bridge.link.start());
        // The link's subscriptions are in place once its status is visible.
        QTRY_VERIFY_WITH_TIMEOUT(sender.has(prefix + "/status"), waitMs);
        if (!retain)
            QVERIFY(sender.publish(prefix + topic, payload));
        if (outcome.startsWith('*')) {
            QTRY_COMPARE_WITH_TIMEOUT(bridge.commands.size(), 1, waitMs);
            QCOMPARE(bridge.commands.at(0).at(0).toByteArray(), outcome.toUtf8());
            QCOMPARE(bridge.commands.at(0).at(1).toString(), "mqtt " + prefix + topic);
            return;
        }
        // The refusal is logged in the same step that would have sent.
        QTRY_VERIFY2_WITH_TIMEOUT(bridge.logged(outcome) > 0, bridge.lines(), waitMs);
        QCOMPARE(bridge.commands.size(), 0);
        QCOMPARE(bridge.logged("refused " + prefix + topic), 1);
        // One line per event, even for a payload with line breaks or a megabyte.
        QVERIFY(bridge.log.last().size() < 300);
    }

    void availabilityFollowsDeviceLink()
    {
        Bridge bridge(optionsFor(*broker));
        QVERIFY(bridge.link.start());
        MqttRecorder watcher(broker->port(), {prefix + "/status"});
        const QByteArrayList expected {"offline", "online", "offline", "online", "offline"};
        auto status = [&] { return watcher.last(prefix + "/status"); };
        // Connected to the broker, but the device has not answered yet.
        QTRY_COMPARE_WITH_TIMEOUT(status(), expected[0], waitMs);
        bridge.feedDevice();
        QTRY_COMPARE_WITH_TIMEOUT(status(), expected[1], waitMs);
        bridge.link.setDeviceUp(false);
        QTRY_COMPARE_WITH_TIMEOUT(status(), expected[2], waitMs);
        bridge.link.setDeviceUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(status(), expected[3], waitMs);
        // A clean stop says offline itself: the broker keeps a will for a death.
        bridge.link.stop();
        QTRY_COMPARE_WITH_TIMEOUT(status(), expected[4], waitMs);
        QCOMPARE(watcher.on(prefix + "/status").size(), expected.size());
    }

    void brokerRestartRepublishes()
    {
        Bridge bridge(optionsFor(*broker));
        bridge.feedDevice();
        QVERIFY(bridge.link.start());
        QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), waitMs);

        broker->stop(); // it keeps nothing: persistence is off
        QTRY_VERIFY_WITH_TIMEOUT(!bridge.link.isConnected(), waitMs);
        // Routes change while the broker is away; the device side goes on.
        bridge.link.setRouting({1, 1, 1, 1});
        QVERIFY2(broker->start(), qPrintable(broker->log()));
        QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), reconnectWaitMs);

        MqttRecorder watcher(broker->port(), {prefix + "/#", "homeassistant/#"});
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/4"), QByteArray("1"), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(watcher.has(discovery("output_4")), waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("online"), waitMs);
        // One line for the loss, none per failed attempt, one for the return.
        QCOMPARE(bridge.logged("lost"), 1);
        QCOMPARE(bridge.logged("cannot connect"), 0);
        QCOMPARE(bridge.logged("connected to"), 2);
    }

    // Outputs that no longer exist lose their topics and entities (an empty
    // retained message), whether this run or an earlier one made them.
    void vanishedOutputsRemoved_data()
    {
        QTest::addColumn<bool>("sameRun");
        QTest::newRow("port count shrank while running") << true;
        QTest::newRow("left by an earlier, larger run") << false;
    }
    void vanishedOutputsRemoved()
    {
        QFETCH(bool, sameRun);
        MqttRecorder watcher(broker->port(), {prefix + "/#", "homeassistant/#"});
        QVERIFY(watcher.waitConnected());
        auto first = std::make_unique<Bridge>(optionsFor(*broker));
        first->feedDevice(4, 4);
        QVERIFY(first->link.start());
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.last(discovery("output_3")).isEmpty(), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.last(prefix + "/output/4/name").isEmpty(), waitMs);
        if (!sameRun) {
            first->link.stop();
            QTRY_VERIFY_WITH_TIMEOUT(!first->link.isConnected(), waitMs);
            first = std::make_unique<Bridge>(optionsFor(*broker));
        }
        first->feedDevice(4, 2);
        QVERIFY(sameRun || first->link.start());
        for (const QString &topic : {discovery("output_3"), discovery("output_4"),
                                     prefix + "/output/3", prefix + "/output/4/name"}) {
            QTRY_VERIFY2_WITH_TIMEOUT(watcher.has(topic) && watcher.last(topic).isEmpty(),
                                      qPrintable(topic), waitMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(watcher.last(prefix + "/state").contains(R"("outputs":2)"),
                                 waitMs);
        QVERIFY(!watcher.last(discovery("output_2")).isEmpty());
    }

    void nameFromDeviceWhenNoneGiven()
    {
        name.clear();
        Bridge bridge(optionsFor(*broker));
        QVERIFY(bridge.link.start());
        QVERIFY(bridge.link.prefix().isEmpty()); // the topics wait for the device's answer
        bridge.feedDevice();
        QCOMPARE(bridge.link.prefix(), QString("matrix-bridge/A-HDM-44"));
        MqttRecorder watcher(broker->port(), {"matrix-bridge/A-HDM-44/status"});
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("matrix-bridge/A-HDM-44/status"),
                                  QByteArray("online"), waitMs);
    }

    // A broker that asks for a password or speaks TLS: the bridge gets in
    // only with what it must have, and commands come through that way.
    void guardedBroker_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QByteArray>("secret"); // the password file, or the certificate trusted
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right password, newline from echo")
            << false << "operator" << QByteArray("s3cret\n") << true;
        QTest::newRow("wrong password") << false << "operator" << QByteArray("guess\n") << false;
        QTest::newRow("no user") << false << "" << QByteArray() << false;
        QTest::newRow("TLS, the broker's certificate trusted")
            << true << "" << QByteArray("broker") << true;
        QTest::newRow("TLS, another certificate trusted")
            << true << "" << QByteArray("stranger") << false;
    }
    void guardedBroker()
    {
        QFETCH(bool, tls);
        QFETCH(QString, user);
        QFETCH(QByteArray, secret);
        QFETCH(bool, accepted);
        MosquittoBroker guarded;
        MqttOptions options = optionsFor(guarded);
        MqttClient::Settings senderSettings;
        if (tls) {
            QVERIFY(makeCertificate(guarded.dir(), "broker"));
            QVERIFY(secret == "broker" || makeCertificate(guarded.dir(), secret));
            guarded.setListenerConfig(
                QString("certfile %1\nkeyfile %2")
                    .arg(guarded.path("broker.crt"), guarded.path("broker.key")));
            options.tlsCaFile = guarded.path(secret + ".crt");
            senderSettings.caFile = guarded.path("broker.crt");
        } else {
            QProcess passwd;
            passwd.start("mosquitto_passwd",
                         {"-b", "-c", guarded.path("passwd"), "operator", "s3cret"});
            QVERIFY(passwd.waitForFinished(waitMs) && passwd.exitCode() == 0);
            guarded.setListenerConfig("allow_anonymous false\npassword_file "
                                      + guarded.path("passwd"));
            options.user = user;
            if (!secret.isNull())
                options.passwordFile = writeFile(guarded.path("password"), secret);
            senderSettings.user = "operator";
            senderSettings.password = "s3cret";
        }
        QVERIFY2(guarded.start(), qPrintable(guarded.log()));
        Bridge bridge(options);
        bridge.feedDevice();
        QVERIFY2(bridge.link.start(), qPrintable(bridge.link.errorString()));
        if (!accepted) {
            QTRY_VERIFY2_WITH_TIMEOUT(bridge.logged("cannot connect") > 0, bridge.lines(), waitMs);
            QVERIFY2(tls || bridge.log.constFirst().contains("not authori"), bridge.lines());
            QVERIFY(!bridge.link.isConnected());
            return;
        }
        MqttRecorder sender(guarded.port(), {prefix + "/status"}, senderSettings);
        QTRY_COMPARE_WITH_TIMEOUT(sender.last(prefix + "/status"), QByteArray("online"), waitMs);
        QVERIFY(sender.publish(prefix + "/output/1/set", "3"));
        QTRY_COMPARE_WITH_TIMEOUT(bridge.commands.size(), 1, waitMs);
    }
};

QTEST_GUILESS_MAIN(TestMqttLink)
#include "tst_mqttlink.moc"
