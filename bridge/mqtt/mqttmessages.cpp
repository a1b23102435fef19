#include "bridge/mqtt/mqttmessages.h"

#include "codec/codec.h"
#include "commands/builders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace mqtt {

namespace {

constexpr int planCount = 30;
constexpr int loggedCharacters = 40;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject deviceBlock(const Topics &topics, const QString &name, const DeviceState &device)
{
    return QJsonObject {
        {QStringLiteral("identifiers"), QJsonArray {topics.deviceId}},
        {QStringLiteral("name"), name},
        {QStringLiteral("model"),
         device.model.isEmpty() ? QStringLiteral("matrix switcher") : device.model},
    };
}

// The keys every entity of the device shares: availability and grouping.
QJsonObject entityBase(const Topics &topics, const QString &name, const DeviceState &device)
{
    return QJsonObject {
        {QStringLiteral("availability_topic"), topics.status()},
        {QStringLiteral("payload_available"), QLatin1String(online)},
        {QStringLiteral("payload_not_available"), QLatin1String(offline)},
        {QStringLiteral("qos"), 1},
        {QStringLiteral("device"), deviceBlock(topics, name, device)},
    };
}

QByteArray outputConfig(const Topics &topics, const QString &name, const PortLabels &labels,
                        const DeviceState &device, int output)
{
    QJsonArray options;
    for (int input = 1; input <= device.inputs; ++input)
        options.append(labels.inputName(input));
    QJsonObject config = entityBase(topics, name, device);
    config.insert(QStringLiteral("name"), labels.outputName(output));
    config.insert(QStringLiteral("unique_id"),
                  QStringLiteral("%1_output_%2").arg(topics.deviceId).arg(output));
    config.insert(QStringLiteral("command_topic"), topics.outputSet(output));
    config.insert(QStringLiteral("state_topic"), topics.outputName(output));
    config.insert(QStringLiteral("options"), options);
    config.insert(QStringLiteral("icon"), QStringLiteral("mdi:video-switch"));
    return compact(config);
}

// Recall only: saving over a plan from a dashboard is one mis-tap away from
// losing it, so saving stays a plain MQTT command.
QByteArray planConfig(const Topics &topics, const QString &name, const DeviceState &device)
{
    QJsonArray options;
    for (int plan = 1; plan <= planCount; ++plan)
        options.append(QString::number(plan));
    QJsonObject config = entityBase(topics, name, device);
    config.insert(QStringLiteral("name"), QStringLiteral("Recall plan"));
    config.insert(QStringLiteral("unique_id"), topics.deviceId + QLatin1String("_plan_recall"));
    config.insert(QStringLiteral("command_topic"), topics.planRecall());
    config.insert(QStringLiteral("options"), options);
    config.insert(QStringLiteral("icon"), QStringLiteral("mdi:playlist-play"));
    return compact(config);
}

QByteArray stateDocument(const DeviceState &device)
{
    QJsonArray routes;
    for (int input : device.routes)
        routes.append(input);
    return compact(QJsonObject {
        {QStringLiteral("letter"), device.letter},
        {QStringLiteral("model"), device.model},
        {QStringLiteral("inputs"), device.inputs},
        {QStringLiteral("outputs"), device.outputs},
        {QStringLiteral("routes"), routes},
    });
}

Request refuse(const QString &why)
{
    return Request {QByteArray(), why};
}

// The output number in PREFIX/output/N/set; 0 when the topic is not one.
QString setTopicOutput(const Topics &topics, const QString &topic)
{
    const QString head = topics.prefix + QLatin1String("/output/");
    const QString tail = QStringLiteral("/set");
    if (!topic.startsWith(head) || !topic.endsWith(tail)
        || topic.size() <= head.size() + tail.size())
        return QString();
    return topic.mid(head.size(), topic.size() - head.size() - tail.size());
}

Request routeRequest(const PortLabels &labels, const DeviceState &device, const QString &outputText,
                     const QString &text)
{
    using commands::Field;
    using commands::NumberTest;
    if (const auto refusal
        = commands::checkNumber(NumberTest::RoutePort, Field::OutputPort, outputText))
        return refuse(commands::describeRefusal(*refusal));
    const int output = outputText.toInt();
    if (output > device.outputs)
        return refuse(QStringLiteral("output %1 does not exist (the device has %2 outputs)")
                          .arg(output)
                          .arg(device.outputs));
    int input = 0;
    if (isAllDigits(text)) {
        if (const auto refusal
            = commands::checkNumber(NumberTest::RoutePort, Field::InputPort, text))
            return refuse(commands::describeRefusal(*refusal));
        input = text.toInt();
        if (input > device.inputs)
            return refuse(QStringLiteral("input %1 does not exist (the device has %2 inputs)")
                              .arg(input)
                              .arg(device.inputs));
    } else {
        input = labels.inputNamed(text, device.inputs);
        if (input == 0)
            return refuse(QStringLiteral("'%1' is neither an input number nor an input's name")
                              .arg(loggable(text.toUtf8())));
    }
    return Request {commands::switchCommand(QString::number(output), QString::number(input)),
                    QString()};
}

Request planRequest(commands::PlanAction action, const QString &text)
{
    using commands::Field;
    using commands::NumberTest;
    if (const auto refusal = commands::checkNumber(NumberTest::PlanNumber, Field::PlanNumber, text))
        return refuse(commands::describeRefusal(*refusal));
    // Leading zeros are dropped: the device gets the number, not the text.
    const commands::CommandPlan plan = commands::plan(action, QString::number(text.toInt()));
    if (plan.isRefused() || plan.commands.size() != 1)
        return refuse(QStringLiteral("plan %1 refused").arg(text));
    return Request {plan.commands.first(), QString()};
}

} // namespace

QString topicSafe(const QString &name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')
            || c == QLatin1Char('_');
        safe.append(plain ? c : QLatin1Char('_'));
    }
    return safe.isEmpty() ? QStringLiteral("matrix") : safe;
}

QString defaultName(const QString &letter, const QString &model)
{
    const QString trimmedModel = model.trimmed();
    if (letter.trimmed().isEmpty())
        return trimmedModel.isEmpty() ? QStringLiteral("matrix") : trimmedModel;
    if (trimmedModel.isEmpty())
        return letter.trimmed();
    return letter.trimmed() + QLatin1Char('-') + trimmedModel;
}

Topics::Topics(const QString &prefix, const QString &discoveryPrefix, const QString &name)
    : prefix(prefix.endsWith(QLatin1Char('/')) ? prefix.chopped(1) : prefix)
    , discoveryPrefix(discoveryPrefix.endsWith(QLatin1Char('/')) ? discoveryPrefix.chopped(1)
                                                                 : discoveryPrefix)
    , deviceId(QLatin1String("matrix_") + topicSafe(name))
{ }

QString Topics::output(int output) const
{
    return QStringLiteral("%1/output/%2").arg(prefix).arg(output);
}

QString Topics::outputName(int output) const
{
    return Topics::output(output) + QLatin1String("/name");
}

QString Topics::outputSet(int output) const
{
    return Topics::output(output) + QLatin1String("/set");
}

QString Topics::outputConfig(int output) const
{
    return QStringLiteral("%1/select/%2/output_%3/config")
        .arg(discoveryPrefix, deviceId)
        .arg(output);
}

QString Topics::planConfig() const
{
    return QStringLiteral("%1/select/%2/plan_recall/config").arg(discoveryPrefix, deviceId);
}

QStringList Topics::commandFilters() const
{
    return {prefix + QLatin1String("/output/+/set"), planRecall(), planSave()};
}

QStringList Topics::ownedFilters() const
{
    return {prefix + QLatin1String("/output/+"), prefix + QLatin1String("/output/+/name"),
            QStringLiteral("%1/select/%2/+/config").arg(discoveryPrefix, deviceId)};
}

QMap<QString, QByteArray> discoveryMessages(const Topics &topics, const QString &name,
                                            const PortLabels &labels, const DeviceState &device)
{
    QMap<QString, QByteArray> messages;
    if (!device.informed)
        return messages;
    messages.insert(topics.planConfig(), planConfig(topics, name, device));
    for (int output = 1; output <= device.outputs; ++output) {
        messages.insert(topics.outputConfig(output),
                        outputConfig(topics, name, labels, device, output));
    }
    return messages;
}

QMap<QString, QByteArray> stateMessages(const Topics &topics, const PortLabels &labels,
                                        const DeviceState &device)
{
    QMap<QString, QByteArray> messages;
    if (!device.informed)
        return messages;
    messages.insert(topics.state(), stateDocument(device));
    const int routed = std::min<int>(device.outputs, device.routes.size());
    // Before the first map nothing is claimed about the routes.
    for (int output = 1; output <= routed; ++output) {
        const int input = device.routes.at(output - 1);
        messages.insert(topics.output(output), QByteArray::number(input));
        // "None" is what Home Assistant's select reads as "no option": the
        // device reports 0 (or an input it no longer has) for an output
        // that shows nothing.
        messages.insert(topics.outputName(output),
                        input >= 1 && input <= device.inputs ? labels.inputName(input).toUtf8()
                                                             : QByteArrayLiteral("None"));
    }
    return messages;
}

QMap<QString, QByteArray> retainedMessages(const Topics &topics, const QString &name,
                                           const PortLabels &labels, const DeviceState &device)
{
    QMap<QString, QByteArray> messages = discoveryMessages(topics, name, labels, device);
    messages.insert(stateMessages(topics, labels, device));
    return messages;
}

Request requestFor(const Topics &topics, const PortLabels &labels, const DeviceState &device,
                   const QString &topic, const QByteArray &payload)
{
    if (payload.size() > longestPayload)
        return refuse(QStringLiteral("payload of %1 bytes is longer than %2")
                          .arg(payload.size())
                          .arg(longestPayload));
    if (!device.informed)
        return refuse(QStringLiteral("the device has not told its port counts yet"));
    const QString text = QString::fromUtf8(payload).trimmed();
    if (topic == topics.planRecall())
        return planRequest(commands::PlanAction::Recall, text);
    if (topic == topics.planSave())
        return planRequest(commands::PlanAction::Save, text);
    const QString output = setTopicOutput(topics, topic);
    if (output.isNull())
        return refuse(QStringLiteral("no command is taken on this topic"));
    return routeRequest(labels, device, output, text);
}

QString loggable(const QByteArray &payload)
{
    QString text = QString::fromUtf8(payload);
    const bool cut = text.size() > loggedCharacters;
    if (cut)
        text.truncate(loggedCharacters);
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    }
    return cut ? text + QStringLiteral("...") : text;
}

} // namespace mqtt
