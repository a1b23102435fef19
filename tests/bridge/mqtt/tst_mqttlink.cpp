// MqttLink against Debian's mosquitto on loopback: what it keeps on the
// broker, what it takes from it, and how it lives through the broker, the
// device and itself going away.

#include "bridge/mqtt/mqttlink.h"
#include "mosquittobroker.h"
#include "mqttrecorder.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int waitMs = 5000;
// Long enough for a reconnect after the first back-off steps.
constexpr int reconnectWaitMs = 15000;
const QString prefix = QStringLiteral("matrix-bridge/rack1");

StatusReply information(int inputs, int outputs)
{
    StatusReply reply;
    reply.kind = StatusReply::DeviceInformation;
    reply.deviceLetter = QStringLiteral("A");
    reply.model = QStringLiteral("HDM-44");
    reply.inputs = inputs;
    reply.outputs = outputs;
    reply.countsAccepted = true;
    return reply;
}

MqttOptions optionsFor(const MosquittoBroker &broker)
{
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = broker.port();
    options.name = QStringLiteral("rack1");
    return options;
}

QString writeFile(const MosquittoBroker &broker, const QString &name, const QByteArray &text)
{
    QFile file(broker.path(name));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return file.fileName();
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
    // A 4x4 device, up, input 2 on output 1, nothing on output 2.
    void feedDevice(int inputs = 4, int outputs = 4)
    {
        link.setDeviceUp(true);
        link.setInformation(information(inputs, outputs));
        QVector<int> routes {2, 0, 3, 9};
        routes.resize(outputs);
        link.setRouting(routes);
    }
    bool logged(const QString &part) const
    {
        for (const QString &line : log) {
            if (line.contains(part))
                return true;
        }
        return false;
    }
    int loggedCount(const QString &part) const
    {
        int count = 0;
        for (const QString &line : log)
            count += line.contains(part) ? 1 : 0;
        return count;
    }

    MqttLink link;
    QSignalSpy commands;
    QStringList log;
};

bool runOpenssl(const QString &dir, const QStringList &arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0) {
        qWarning() << "openssl" << arguments << openssl.readAll();
        return false;
    }
    return true;
}

// A certificate authority named NAME: NAME.key, NAME.crt in dir.
bool makeCa(const QString &dir, const QString &name)
{
    return runOpenssl(dir,
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                       "/CN=" + name, "-keyout", name + ".key", "-out", name + ".crt"});
}

// server.key and server.crt for 127.0.0.1, signed by the CA named ca.
bool makeServerCertificate(const QString &dir, const QString &ca)
{
    QFile ext(dir + "/server.ext");
    ext.open(QIODevice::WriteOnly);
    ext.write("subjectAltName = IP:127.0.0.1\n");
    ext.close();
    return runOpenssl(dir,
                      {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                       "server.key", "-out", "server.csr"})
        && runOpenssl(dir,
                      {"x509", "-req", "-in", "server.csr", "-CA", ca + ".crt", "-CAkey",
                       ca + ".key", "-CAcreateserial", "-days", "2", "-extfile", "server.ext",
                       "-out", "server.crt"});
}

} // namespace

class TestMqttLink : public QObject
{
    Q_OBJECT

private slots:
    void retainedAfterStart_data();
    void retainedAfterStart();
    void routeChangeUpdatesRetained();
    void commandsBuilt_data();
    void commandsBuilt();
    void refusedPayloadSendsNothing_data();
    void refusedPayloadSendsNothing();
    void availabilityFollowsDeviceLink();
    void brokerRestartRepublishes();
    void vanishedOutputsRemoved_data();
    void vanishedOutputsRemoved();
    void nameFromDeviceWhenNoneGiven();
    void badFilesRefusedAtStart_data();
    void badFilesRefusedAtStart();
    void credentials_data();
    void credentials();
    void tls_data();
    void tls();
};

void TestMqttLink::retainedAfterStart_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("availability") << prefix + "/status" << QByteArray("online");
    QTest::newRow("whole state")
        << prefix + "/state"
        << QByteArray(
               R"({"inputs":4,"letter":"A","model":"HDM-44","outputs":4,"routes":[2,0,3,9]})");
    QTest::newRow("output number") << prefix + "/output/1" << QByteArray("2");
    QTest::newRow("output named by its input's label")
        << prefix + "/output/1/name" << QByteArray("Camera");
    QTest::newRow("unlabelled input's default name")
        << prefix + "/output/3/name" << QByteArray("Input 3");
    QTest::newRow("output fed by nothing: number") << prefix + "/output/2" << QByteArray("0");
    QTest::newRow("output fed by nothing: no option")
        << prefix + "/output/2/name" << QByteArray("None");
    QTest::newRow("input past the count: no option")
        << prefix + "/output/4/name" << QByteArray("None");
}

void TestMqttLink::retainedAfterStart()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttOptions options = optionsFor(broker);
    options.labelsFile
        = writeFile(broker, "labels.conf", "input.2 = Camera\noutput.1 = Projector\n");
    Bridge bridge(options);
    bridge.feedDevice();
    QVERIFY2(bridge.link.start(), qPrintable(bridge.link.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), waitMs);

    // A client that comes later gets the broker's stored copies.
    MqttRecorder watcher(broker.port(), {prefix + "/#", "homeassistant/#"});
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(topic), payload, waitMs);
    QVERIFY(watcher.messagesOn(topic).constFirst().retained);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.has("homeassistant/select/matrix_rack1/output_4/config"),
                             waitMs);
    QVERIFY(watcher.has("homeassistant/select/matrix_rack1/plan_recall/config"));
    QVERIFY(watcher.messagesOn("homeassistant/select/matrix_rack1/output_1/config")
                .constFirst()
                .retained);
}

void TestMqttLink::routeChangeUpdatesRetained()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    Bridge bridge(optionsFor(broker));
    bridge.feedDevice();
    QVERIFY(bridge.link.start());
    MqttRecorder watcher(broker.port(), {prefix + "/#"});
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/2"), QByteArray("0"), waitMs);

    // The routing map that answers a switch made anywhere.
    bridge.link.setRouting({2, 4, 3, 9});
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/2"), QByteArray("4"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/2/name"), QByteArray("Input 4"),
                              waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.last(prefix + "/state").contains("[2,4,3,9]"), waitMs);
    // An unchanged output is not published again.
    QCOMPARE(watcher.messagesOn(prefix + "/output/1").size(), 1);
}

void TestMqttLink::commandsBuilt_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("input number") << "/output/2/set" << QByteArray("3") << QByteArray("*2<3!");
    QTest::newRow("input label") << "/output/2/set" << QByteArray("Camera") << QByteArray("*2<2!");
    QTest::newRow("unlabelled input's default name")
        << "/output/4/set" << QByteArray("Input 3") << QByteArray("*4<3!");
    QTest::newRow("label in UTF-8")
        << "/output/1/set" << QByteArray("Kamera ü") << QByteArray("*1<4!");
    QTest::newRow("leading zeros dropped")
        << "/output/1/set" << QByteArray("04") << QByteArray("*1<4!");
    QTest::newRow("newline from a shell ignored")
        << "/output/1/set" << QByteArray("4\n") << QByteArray("*1<4!");
    QTest::newRow("recall plan") << "/plan/recall" << QByteArray("7")
                                 << QByteArray("*: CALLPLAN 7!");
    QTest::newRow("save plan, highest")
        << "/plan/save" << QByteArray("30") << QByteArray("*: SAVEPLAN 30!");
}

void TestMqttLink::commandsBuilt()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, command);
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttOptions options = optionsFor(broker);
    options.labelsFile = writeFile(broker, "labels.conf", "input.2 = Camera\ninput.4 = Kamera ü\n");
    Bridge bridge(options);
    bridge.feedDevice();
    QVERIFY(bridge.link.start());
    QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), waitMs);
    MqttRecorder sender(broker.port(), {prefix + "/status"});
    // The link's subscriptions are in place once its status is visible.
    QTRY_COMPARE_WITH_TIMEOUT(sender.last(prefix + "/status"), QByteArray("online"), waitMs);

    QVERIFY(sender.publish(prefix + topic, payload));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.commands.size(), 1, waitMs);
    QCOMPARE(bridge.commands.at(0).at(0).toByteArray(), command);
    QCOMPARE(bridge.commands.at(0).at(1).toString(), "mqtt " + prefix + topic);
}

void TestMqttLink::refusedPayloadSendsNothing_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("retain");
    QTest::addColumn<bool>("deviceUp");
    QTest::addColumn<QString>("reason");

    const QString set = "/output/1/set";
    QTest::newRow("zero") << set << QByteArray("0") << false << true << "is below 1";
    QTest::newRow("letters") << set << QByteArray("abc") << false << true
                             << "neither an input number nor an input's name";
    QTest::newRow("past two digits") << set << QByteArray("100") << false << true << "is above 99";
    QTest::newRow("one megabyte") << set << QByteArray(1 << 20, '1') << false << true
                                  << "1048576 bytes is longer than";
    QTest::newRow("JSON where a number belongs")
        << set << QByteArray(R"({"input":3})") << false << true << "neither an input number";
    QTest::newRow("unknown label")
        << set << QByteArray("Projector") << false << true << "neither an input number";
    QTest::newRow("empty") << set << QByteArray() << false << true << "is empty";
    QTest::newRow("sign") << set << QByteArray("+3") << false << true << "neither an input number";
    QTest::newRow("input the device lacks")
        << set << QByteArray("5") << false << true << "input 5 does not exist";
    QTest::newRow("output the device lacks")
        << "/output/5/set" << QByteArray("1") << false << true << "output 5 does not exist";
    QTest::newRow("plan 31") << "/plan/recall" << QByteArray("31") << false << true
                             << "is above 30";
    QTest::newRow("plan by name") << "/plan/save" << QByteArray("Plan 3") << false << true
                                  << "not a plain number";
    QTest::newRow("retained command")
        << set << QByteArray("2") << true << true << "retained commands are not carried out";
    QTest::newRow("device link down")
        << set << QByteArray("2") << false << false << "the device link is down";
}

void TestMqttLink::refusedPayloadSendsNothing()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(bool, retain);
    QFETCH(bool, deviceUp);
    QFETCH(QString, reason);
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    Bridge bridge(optionsFor(broker));
    bridge.feedDevice();
    bridge.link.setDeviceUp(deviceUp);
    MqttRecorder sender(broker.port(), {prefix + "/status", prefix + topic});
    QVERIFY(sender.waitConnected());
    if (retain) {
        // Stored on the broker before the bridge comes: what a reconnect
        // finds. (Live messages reach subscribers without the flag.)
        QVERIFY(sender.publish(prefix + topic, payload, true));
        QTRY_VERIFY_WITH_TIMEOUT(sender.has(prefix + topic), waitMs);
    }
    QVERIFY(bridge.link.start());
    QTRY_VERIFY_WITH_TIMEOUT(!sender.last(prefix + "/status").isEmpty(), waitMs);
    if (!retain)
        QVERIFY(sender.publish(prefix + topic, payload));
    // The refusal is logged in the same step that would have sent.
    QTRY_VERIFY2_WITH_TIMEOUT(bridge.logged(reason), qPrintable(bridge.log.join('\n')), waitMs);
    QCOMPARE(bridge.commands.size(), 0);
    QCOMPARE(bridge.loggedCount("refused " + prefix + topic), 1);
    // One line per event, even for a payload with line breaks or a megabyte.
    QVERIFY(bridge.log.last().size() < 300);
}

void TestMqttLink::availabilityFollowsDeviceLink()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    Bridge bridge(optionsFor(broker));
    QVERIFY(bridge.link.start());
    MqttRecorder watcher(broker.port(), {prefix + "/status"});
    // Connected to the broker, but the device has not answered yet.
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("offline"), waitMs);
    bridge.feedDevice();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("online"), waitMs);
    bridge.link.setDeviceUp(false);
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("offline"), waitMs);
    bridge.link.setDeviceUp(true);
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("online"), waitMs);
    QCOMPARE(watcher.messagesOn(prefix + "/status").size(), 4);
    // A clean stop says offline itself: the broker keeps a will for a death.
    bridge.link.stop();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("offline"), waitMs);
}

void TestMqttLink::brokerRestartRepublishes()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    Bridge bridge(optionsFor(broker));
    bridge.feedDevice();
    QVERIFY(bridge.link.start());
    QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), waitMs);

    broker.stop(); // it keeps nothing: persistence is off
    QTRY_VERIFY_WITH_TIMEOUT(!bridge.link.isConnected(), waitMs);
    // Routes change while the broker is away; the device side goes on.
    bridge.link.setRouting({1, 1, 1, 1});
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), reconnectWaitMs);

    MqttRecorder watcher(broker.port(), {prefix + "/#", "homeassistant/#"});
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/status"), QByteArray("online"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last(prefix + "/output/4"), QByteArray("1"), waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.has("homeassistant/select/matrix_rack1/output_4/config"),
                             waitMs);
    // One line for the loss, none per failed attempt, one for the return.
    QCOMPARE(bridge.loggedCount("lost"), 1);
    QCOMPARE(bridge.loggedCount("cannot connect"), 0);
    QCOMPARE(bridge.loggedCount("connected to"), 2);
}

void TestMqttLink::vanishedOutputsRemoved_data()
{
    QTest::addColumn<bool>("sameRun");
    QTest::newRow("port count shrank while running") << true;
    QTest::newRow("left by an earlier, larger run") << false;
}

void TestMqttLink::vanishedOutputsRemoved()
{
    QFETCH(bool, sameRun);
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttRecorder watcher(broker.port(), {prefix + "/#", "homeassistant/#"});
    QVERIFY(watcher.waitConnected());
    const QString config3 = "homeassistant/select/matrix_rack1/output_3/config";
    auto first = std::make_unique<Bridge>(optionsFor(broker));
    first->feedDevice(4, 4);
    QVERIFY(first->link.start());
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.last(config3).isEmpty(), waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.last(prefix + "/output/4/name").isEmpty(), waitMs);

    std::unique_ptr<Bridge> second;
    if (sameRun) {
        first->feedDevice(4, 2);
    } else {
        first->link.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!first->link.isConnected(), waitMs);
        second = std::make_unique<Bridge>(optionsFor(broker));
        second->feedDevice(4, 2);
        QVERIFY(second->link.start());
    }
    for (const QString &topic :
         {config3, QString("homeassistant/select/matrix_rack1/output_4/config"),
          prefix + "/output/3", prefix + "/output/4/name"}) {
        QTRY_VERIFY2_WITH_TIMEOUT(watcher.has(topic) && watcher.last(topic).isEmpty(),
                                  qPrintable(topic), waitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(watcher.last(prefix + "/state").contains(R"("outputs":2)"), waitMs);
    QVERIFY(!watcher.last("homeassistant/select/matrix_rack1/output_2/config").isEmpty());
}

void TestMqttLink::nameFromDeviceWhenNoneGiven()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttOptions options = optionsFor(broker);
    options.name.clear();
    Bridge bridge(options);
    QVERIFY(bridge.link.start());
    QVERIFY(bridge.link.prefix().isEmpty()); // the topics wait for the device's answer
    bridge.feedDevice();
    QCOMPARE(bridge.link.prefix(), QString("matrix-bridge/A-HDM-44"));
    MqttRecorder watcher(broker.port(), {"matrix-bridge/A-HDM-44/status"});
    QTRY_COMPARE_WITH_TIMEOUT(watcher.last("matrix-bridge/A-HDM-44/status"), QByteArray("online"),
                              waitMs);
}

void TestMqttLink::badFilesRefusedAtStart_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("content"); // null: the file does not exist
    QTest::addColumn<QString>("error");

    QTest::newRow("password file missing") << "password" << QByteArray() << "mqtt-password-file";
    QTest::newRow("password file empty")
        << "password" << QByteArray("\n") << "the first line is empty";
    QTest::newRow("password without user")
        << "password-alone" << QByteArray("pw") << "mqtt-password-file needs mqtt-user";
    QTest::newRow("CA file missing") << "ca" << QByteArray() << "mqtt-tls-ca";
    QTest::newRow("CA file not PEM") << "ca" << QByteArray("hello") << "no PEM certificate";
    QTest::newRow("labels file missing") << "labels" << QByteArray() << "labels";
}

void TestMqttLink::badFilesRefusedAtStart()
{
    QFETCH(QString, option);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    MosquittoBroker broker; // only for its directory: nothing connects
    const QString path
        = content.isNull() ? broker.path("missing") : writeFile(broker, "file", content);
    MqttOptions options = optionsFor(broker);
    if (option == "password") {
        options.user = "operator";
        options.passwordFile = path;
    } else if (option == "password-alone") {
        options.passwordFile = path;
    } else if (option == "ca") {
        options.tlsCaFile = path;
    } else {
        options.labelsFile = path;
    }
    Bridge bridge(options);
    QVERIFY(!bridge.link.start());
    QVERIFY2(bridge.link.errorString().contains(error), qPrintable(bridge.link.errorString()));
    QVERIFY(!bridge.link.isConnected());
}

void TestMqttLink::credentials_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("passwordFile");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("right password, newline from echo")
        << "operator" << QByteArray("s3cret\n") << true;
    QTest::newRow("wrong password") << "operator" << QByteArray("guess\n") << false;
    QTest::newRow("no user") << "" << QByteArray() << false;
}

void TestMqttLink::credentials()
{
    QFETCH(QString, user);
    QFETCH(QByteArray, passwordFile);
    QFETCH(bool, accepted);
    MosquittoBroker broker;
    QProcess passwd;
    passwd.start("mosquitto_passwd", {"-b", "-c", broker.path("passwd"), "operator", "s3cret"});
    QVERIFY(passwd.waitForFinished(waitMs) && passwd.exitCode() == 0);
    broker.setListenerConfig("allow_anonymous false\npassword_file " + broker.path("passwd"));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttOptions options = optionsFor(broker);
    options.user = user;
    if (!passwordFile.isNull())
        options.passwordFile = writeFile(broker, "password", passwordFile);
    Bridge bridge(options);
    bridge.feedDevice();
    QVERIFY2(bridge.link.start(), qPrintable(bridge.link.errorString()));
    if (accepted) {
        QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), waitMs);
    } else {
        QTRY_VERIFY2_WITH_TIMEOUT(bridge.logged("cannot connect"),
                                  qPrintable(bridge.log.join('\n')), waitMs);
        QVERIFY2(bridge.log.constFirst().contains("not authori"),
                 qPrintable(bridge.log.constFirst()));
        QVERIFY(!bridge.link.isConnected());
    }
}

void TestMqttLink::tls_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("CA that signed the broker") << true;
    QTest::newRow("another CA") << false;
}

void TestMqttLink::tls()
{
    QFETCH(bool, trusted);
    MosquittoBroker broker;
    QVERIFY(makeCa(broker.dir(), "ca"));
    QVERIFY(makeServerCertificate(broker.dir(), "ca"));
    if (!trusted)
        QVERIFY(makeCa(broker.dir(), "stranger"));
    broker.setListenerConfig(
        QString("cafile %1\ncertfile %2\nkeyfile %3")
            .arg(broker.path("ca.crt"), broker.path("server.crt"), broker.path("server.key")));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttOptions options = optionsFor(broker);
    options.tlsCaFile = broker.path(trusted ? "ca.crt" : "stranger.crt");
    Bridge bridge(options);
    bridge.feedDevice();
    QVERIFY2(bridge.link.start(), qPrintable(bridge.link.errorString()));
    if (trusted) {
        QTRY_VERIFY_WITH_TIMEOUT(bridge.link.isConnected(), waitMs);
        // Commands come through the encrypted connection as well.
        MqttClient::Settings settings;
        settings.caFile = broker.path("ca.crt");
        MqttRecorder sender(broker.port(), {prefix + "/status"}, settings);
        QTRY_COMPARE_WITH_TIMEOUT(sender.last(prefix + "/status"), QByteArray("online"), waitMs);
        QVERIFY(sender.publish(prefix + "/output/1/set", "3"));
        QTRY_COMPARE_WITH_TIMEOUT(bridge.commands.size(), 1, waitMs);
    } else {
        QTRY_VERIFY2_WITH_TIMEOUT(bridge.logged("cannot connect"),
                                  qPrintable(bridge.log.join('\n')), waitMs);
        QVERIFY(!bridge.link.isConnected());
    }
}

QTEST_GUILESS_MAIN(TestMqttLink)
#include "tst_mqttlink.moc"
