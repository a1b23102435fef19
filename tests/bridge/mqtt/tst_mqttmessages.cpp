// The bridge's MQTT messages without a broker: the labels file, the Home
// Assistant discovery documents checked against the keys Home Assistant
// knows, and the names that must agree between a select's options and its
// state.

#include "bridge/mqtt/mqttmessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

namespace {

// Home Assistant's MQTT select: the keys its documentation lists (long
// names; the bridge uses no abbreviations). A key outside this list is
// ignored by Home Assistant at best and refused at worst.
const QSet<QString> selectKeys {"availability",
                                "availability_mode",
                                "availability_template",
                                "availability_topic",
                                "command_template",
                                "command_topic",
                                "device",
                                "enabled_by_default",
                                "encoding",
                                "entity_category",
                                "entity_picture",
                                "icon",
                                "json_attributes_template",
                                "json_attributes_topic",
                                "name",
                                "object_id",
                                "optimistic",
                                "options",
                                "payload_available",
                                "payload_not_available",
                                "platform",
                                "qos",
                                "retain",
                                "state_topic",
                                "unique_id",
                                "value_template"};
// Required by Home Assistant for a select, and by the bridge for every
// entity: a unique id (without it there is no device to group under) and
// availability.
const QStringList selectRequired {"command_topic",      "options", "unique_id",
                                  "availability_topic", "device",  "name"};
const QSet<QString> deviceKeys {
    "configuration_url", "connections", "hw_version",   "identifiers",
    "manufacturer",      "model",       "name",         "suggested_area",
    "sw_version",        "via_device",  "serial_number"};
const QStringList deviceRequired {"identifiers", "name", "model"};

mqtt::DeviceState device(int inputs, int outputs, QVector<int> routes)
{
    mqtt::DeviceState state;
    state.informed = true;
    state.letter = "B";
    state.model = "VX 16/8";
    state.inputs = inputs;
    state.outputs = outputs;
    state.routes = routes;
    return state;
}

} // namespace

class TestMqttMessages : public QObject
{
    Q_OBJECT

private slots:
    void labels_data();
    void labels();
    void discoveryFollowsHomeAssistant_data();
    void discoveryFollowsHomeAssistant();
    void names_data();
    void names();
};

void TestMqttMessages::labels_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QString>("input1");
    QTest::addColumn<QString>("output2");

    QTest::newRow("comments, blanks, spaces around '='")
        << QByteArray("# rack\n\n  input.1=Camera left  \noutput.2 = Beamer\n") << ""
        << "Camera left"
        << "Beamer";
    QTest::newRow("unlabelled ports keep their default names")
        << QByteArray("input.3 = Lectern\n") << ""
        << "Input 1"
        << "Output 2";
    QTest::newRow("UTF-8 names") << QByteArray("input.1 = 摄像机\r\noutput.2 = Écran\r\n") << ""
                                 << "摄像机"
                                 << "Écran";
    QTest::newRow("an output may share an input's name")
        << QByteArray("input.1 = Stage\noutput.2 = Stage\n") << ""
        << "Stage"
        << "Stage";
    QTest::newRow("a value may contain '='") << QByteArray("input.1 = A=B\n") << ""
                                             << "A=B"
                                             << "Output 2";
    QTest::newRow("unknown key") << QByteArray("source.1 = X\n") << "line 1: unknown key 'source.1'"
                                 << ""
                                 << "";
    QTest::newRow("port 0") << QByteArray("input.0 = X\n") << "port 0 is outside 1 to 99"
                            << ""
                            << "";
    QTest::newRow("port 100") << QByteArray("\n\ninput.100 = X\n") << "line 3: port 100 is outside"
                              << ""
                              << "";
    QTest::newRow("no name") << QByteArray("output.2 =\n") << "output.2 has no name"
                             << ""
                             << "";
    QTest::newRow("same key twice")
        << QByteArray("output.2 = A\noutput.2 = B\n") << "line 2: output.2 is named twice"
        << ""
        << "";
    QTest::newRow("input named like a number")
        << QByteArray("input.1 = 7\n") << "must not be a number"
        << ""
        << "";
    QTest::newRow("input named like another's default")
        << QByteArray("input.1 = Input 2\n") << "default name"
        << ""
        << "";
    QTest::newRow("two inputs, one name")
        << QByteArray("input.1 = Cam\ninput.4 = Cam\n") << "input.1 has that name already"
        << ""
        << "";
    QTest::newRow("name too long") << "input.1 = " + QByteArray(65, 'x') << "longer than 64"
                                   << ""
                                   << "";
}

void TestMqttMessages::labels()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(QString, input1);
    QFETCH(QString, output2);
    QString why;
    const auto labels = PortLabels::parse(text, &why);
    if (!error.isEmpty()) {
        QVERIFY(!labels);
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(labels, qPrintable(why));
    QCOMPARE(labels->inputName(1), input1);
    QCOMPARE(labels->outputName(2), output2);
    QCOMPARE(labels->inputNamed(input1, 4), 1);
}

void TestMqttMessages::discoveryFollowsHomeAssistant_data()
{
    QTest::addColumn<QByteArray>("labelsText");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<QVector<int>>("routes");

    QTest::newRow("4x4, no labels") << QByteArray() << 4 << 4 << QVector<int> {1, 2, 3, 4};
    QTest::newRow("16x8 with labels, one output dark")
        << QByteArray("input.16 = Cam \"B\"\noutput.8 = Wall\n") << 16 << 8
        << QVector<int> {16, 0, 1, 1, 2, 3, 4, 16};
    QTest::newRow("1x1") << QByteArray() << 1 << 1 << QVector<int> {1};
    QTest::newRow("routing map not received yet") << QByteArray() << 8 << 2 << QVector<int>();
}

void TestMqttMessages::discoveryFollowsHomeAssistant()
{
    QFETCH(QByteArray, labelsText);
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(QVector<int>, routes);
    QString why;
    const auto labels = PortLabels::parse(labelsText, &why);
    QVERIFY(labels);
    const mqtt::Topics topics("matrix-bridge/hall", "homeassistant", "hall");
    const auto messages
        = mqtt::retainedMessages(topics, "Hall", *labels, device(inputs, outputs, routes));

    int selects = 0;
    QSet<QString> uniqueIds;
    for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
        if (!it.key().startsWith("homeassistant/"))
            continue;
        ++selects;
        QVERIFY2(it.key().startsWith("homeassistant/select/matrix_hall/")
                     && it.key().endsWith("/config"),
                 qPrintable(it.key()));
        QJsonParseError error;
        const QJsonObject config = QJsonDocument::fromJson(it.value(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(it.key()));
        for (const QString &key : config.keys())
            QVERIFY2(selectKeys.contains(key), qPrintable(it.key() + ": " + key));
        for (const QString &key : selectRequired)
            QVERIFY2(config.contains(key), qPrintable(it.key() + " lacks " + key));
        const QJsonObject block = config.value("device").toObject();
        for (const QString &key : block.keys())
            QVERIFY2(deviceKeys.contains(key), qPrintable(it.key() + ": device." + key));
        for (const QString &key : deviceRequired)
            QVERIFY2(!block.value(key).toVariant().toString().isEmpty()
                         || !block.value(key).toArray().isEmpty(),
                     qPrintable(it.key() + " lacks device." + key));
        QCOMPARE(block.value("identifiers").toArray(), QJsonArray {"matrix_hall"});
        QCOMPARE(config.value("availability_topic").toString(), topics.status());
        QVERIFY2(!uniqueIds.contains(config.value("unique_id").toString()), "unique_id repeated");
        uniqueIds.insert(config.value("unique_id").toString());

        const QJsonArray options = config.value("options").toArray();
        QVERIFY(!options.isEmpty());
        QSet<QString> distinct;
        for (const QJsonValue &option : options) {
            QVERIFY(option.isString());
            distinct.insert(option.toString());
        }
        QCOMPARE(distinct.size(), options.size());
        // The state topic must carry exactly one of the options (or None).
        const QString stateTopic = config.value("state_topic").toString();
        if (stateTopic.isEmpty())
            continue; // the plan recall: nothing to show
        QVERIFY(messages.contains(stateTopic) || routes.isEmpty());
        if (messages.contains(stateTopic)) {
            const QString state = QString::fromUtf8(messages.value(stateTopic));
            QVERIFY2(distinct.contains(state) || state == "None", qPrintable(state));
        }
        // The command topic takes every option.
        for (const QJsonValue &option : options) {
            const mqtt::Request request = mqtt::requestFor(
                topics, *labels, device(inputs, outputs, routes),
                config.value("command_topic").toString(), option.toString().toUtf8());
            QVERIFY2(request.refusal.isEmpty(), qPrintable(request.refusal));
        }
    }
    QCOMPARE(selects, outputs + 1);
}

void TestMqttMessages::names_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("deviceId");

    QTest::newRow("letter and model") << "A"
                                      << "HDM-44"
                                      << "A-HDM-44"
                                      << "matrix_A-HDM-44";
    QTest::newRow("topic characters replaced") << "B"
                                               << "VX 16/8+#"
                                               << "B-VX 16/8+#"
                                               << "matrix_B-VX_16_8__";
    QTest::newRow("no letter (NUL)") << ""
                                     << "HDM"
                                     << "HDM"
                                     << "matrix_HDM";
    QTest::newRow("nothing at all") << ""
                                    << ""
                                    << "matrix"
                                    << "matrix_matrix";
}

void TestMqttMessages::names()
{
    QFETCH(QString, letter);
    QFETCH(QString, model);
    QFETCH(QString, name);
    QFETCH(QString, deviceId);
    QCOMPARE(mqtt::defaultName(letter, model), name);
    const mqtt::Topics topics("p/", "homeassistant/", name);
    QCOMPARE(topics.deviceId, deviceId);
    QCOMPARE(topics.status(), QString("p/status"));
    QCOMPARE(topics.outputConfig(3), "homeassistant/select/" + deviceId + "/output_3/config");
}

QTEST_APPLESS_MAIN(TestMqttMessages)
#include "tst_mqttmessages.moc"
