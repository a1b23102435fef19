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

QSet<QString> keySet(const QString &words)
{
    const QStringList list = words.split(' ');
    return QSet<QString>(list.cbegin(), list.cend());
}

// Home Assistant's MQTT select: the keys its documentation lists (long
// names; the bridge uses no abbreviations). A key outside this list is
// ignored by Home Assistant at best and refused at worst.
const QSet<QString> selectKeys = keySet(
    "availability availability_mode availability_template availability_topic command_template "
    "command_topic device enabled_by_default encoding entity_category entity_picture icon "
    "json_attributes_template json_attributes_topic name object_id optimistic options "
    "payload_available payload_not_available platform qos retain state_topic unique_id "
    "value_template");
// Required by Home Assistant for a select, and by the bridge for every
// entity: a unique id (without it there is no device to group under) and
// availability.
const QStringList selectRequired {"command_topic",      "options", "unique_id",
                                  "availability_topic", "device",  "name"};
const QSet<QString> deviceKeys = keySet("configuration_url connections hw_version identifiers "
                                        "manufacturer model name suggested_area sw_version "
                                        "via_device serial_number");
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
    // "error" empty: accepted, and input 1 / output 2 carry these names.
    void labels_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("input1");
        QTest::addColumn<QString>("output2");
        auto ok = [](const char *name, const QByteArray &text, const char *in, const char *out) {
            QTest::newRow(name) << text << QString() << in << out;
        };
        auto refused = [](const char *name, const QByteArray &text, const char *error) {
            QTest::newRow(name) << text << error << QString() << QString();
        };
        ok("comments, blanks, spaces around '='",
           "# rack\n\n  input.1=Camera left  \noutput.2 = Beamer\n", "Camera left", "Beamer");
        ok("unlabelled ports keep their default names", "input.3 = Lectern\n", "Input 1",
           "Output 2");
        ok("UTF-8 names, CRLF", "input.1 = 摄像机\r\noutput.2 = Écran\r\n", "摄像机", "Écran");
        ok("an output may share an input's name", "input.1 = Stage\noutput.2 = Stage\n", "Stage",
           "Stage");
        ok("a value may contain '='", "input.1 = A=B\n", "A=B", "Output 2");
        refused("unknown key", "source.1 = X\n", "line 1: unknown key 'source.1'");
        refused("port 0", "input.0 = X\n", "port 0 is outside 1 to 99");
        refused("port 100, line counted", "\n\ninput.100 = X\n", "line 3: port 100 is outside");
        refused("no name", "output.2 =\n", "output.2 has no name");
        refused("same key twice", "output.2 = A\noutput.2 = B\n",
                "line 2: output.2 is named twice");
        refused("input named like a number", "input.1 = 7\n", "must not be a number");
        refused("input named like another's default", "input.1 = Input 2\n", "default name");
        refused("two inputs, one name", "input.1 = Cam\ninput.4 = Cam\n",
                "input.1 has that name already");
        refused("name too long", "input.1 = " + QByteArray(65, 'x'), "longer than 64");
    }
    void labels()
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

    // Every discovery document against Home Assistant's keys; each select's
    // state is one of its options and its command topic takes every option.
    void discoveryFollowsHomeAssistant_data()
    {
        QTest::addColumn<QByteArray>("labelsText");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<QVector<int>>("routes");
        QTest::addColumn<QStringList>("shown"); // each output's state, as its select shows it
        QTest::newRow("4x4, no labels, an input past the count")
            << QByteArray() << 4 << 4 << QVector<int> {1, 2, 3, 9}
            << QStringList {"Input 1", "Input 2", "Input 3", "None"};
        QTest::newRow("16x8 with labels, one output dark")
            << QByteArray("input.16 = Cam \"B\"\noutput.8 = Wall\n") << 16 << 8
            << QVector<int> {16, 0, 1, 1, 2, 3, 4, 16}
            << QStringList {"Cam \"B\"", "None",    "Input 1", "Input 1",
                            "Input 2",   "Input 3", "Input 4", "Cam \"B\""};
        QTest::newRow("routing map not received yet")
            << QByteArray() << 8 << 2 << QVector<int>() << QStringList();
    }
    void discoveryFollowsHomeAssistant()
    {
        QFETCH(QByteArray, labelsText);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(QVector<int>, routes);
        QFETCH(QStringList, shown);
        QString why;
        const auto labels = PortLabels::parse(labelsText, &why);
        QVERIFY2(labels, qPrintable(why));
        const mqtt::Topics topics("matrix-bridge/hall", "homeassistant", "hall");
        const mqtt::DeviceState state = device(inputs, outputs, routes);
        const auto messages = mqtt::retainedMessages(topics, "Hall", *labels, state);

        int selects = 0;
        QSet<QString> uniqueIds;
        for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
            if (!it.key().startsWith("homeassistant/"))
                continue;
            ++selects;
            const QString at = it.key() + ": ";
            QVERIFY2(it.key().startsWith("homeassistant/select/matrix_hall/"), qPrintable(at));
            const QJsonObject config = QJsonDocument::fromJson(it.value()).object();
            const QJsonObject block = config.value("device").toObject();
            for (const QString &key : config.keys())
                QVERIFY2(selectKeys.contains(key), qPrintable(at + key));
            for (const QString &key : selectRequired)
                QVERIFY2(config.contains(key), qPrintable(at + "lacks " + key));
            for (const QString &key : block.keys())
                QVERIFY2(deviceKeys.contains(key), qPrintable(at + "device." + key));
            for (const QString &key : deviceRequired)
                QVERIFY2(!block.value(key).toVariant().toString().isEmpty()
                             || !block.value(key).toArray().isEmpty(),
                         qPrintable(at + "lacks device." + key));
            QCOMPARE(block.value("identifiers").toArray(), QJsonArray {"matrix_hall"});
            QCOMPARE(config.value("availability_topic").toString(), topics.status());
            const QString uniqueId = config.value("unique_id").toString();
            QVERIFY2(!uniqueIds.contains(uniqueId), qPrintable(at + "unique_id repeated"));
            uniqueIds.insert(uniqueId);

            QSet<QString> options;
            for (const QJsonValue &option : config.value("options").toArray()) {
                options.insert(option.toString());
                const mqtt::Request request = mqtt::requestFor(
                    topics, *labels, state, config.value("command_topic").toString(),
                    option.toString().toUtf8());
                QVERIFY2(request.refusal.isEmpty(), qPrintable(at + request.refusal));
            }
            QCOMPARE(options.size(), config.value("options").toArray().size());
            QVERIFY2(!options.isEmpty() && !options.contains(QString()), qPrintable(at));
            const QString stateTopic = config.value("state_topic").toString();
            if (stateTopic.isEmpty() || routes.isEmpty())
                continue; // the plan recall shows nothing; no map, no claim
            const QString shown = QString::fromUtf8(messages.value(stateTopic));
            QVERIFY2(options.contains(shown) || shown == "None", qPrintable(at + shown));
        }
        QCOMPARE(selects, outputs + 1);
        for (int output = 1; output <= outputs; ++output)
            QCOMPARE(messages.value(topics.outputName(output)),
                     shown.value(output - 1, QString()).toUtf8());
    }

    // The name made from the device, and the identifiers made from a name.
    void names_data()
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
    void names()
    {
        QFETCH(QString, letter);
        QFETCH(QString, model);
        QFETCH(QString, name);
        QFETCH(QString, deviceId);
        QCOMPARE(mqtt::defaultName(letter, model), name);
        const mqtt::Topics topics("p/", "homeassistant/", name);
        QCOMPARE(topics.status(), QString("p/status"));
        QCOMPARE(topics.outputConfig(3), "homeassistant/select/" + deviceId + "/output_3/config");
    }
};

QTEST_APPLESS_MAIN(TestMqttMessages)
#include "tst_mqttmessages.moc"
