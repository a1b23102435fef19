#include "bridge/mqtt/mqttlink.h"

#include <QFile>
#include <QFileInfo>

MqttLink::MqttLink(const MqttOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_name(options.name)
{
    connect(&m_client, &MqttClient::connected, this, &MqttLink::connected);
    connect(&m_client, &MqttClient::connectionLost, this, &MqttLink::connectionLost);
    connect(&m_client, &MqttClient::messageReceived, this, &MqttLink::messageReceived);
}

MqttLink::~MqttLink() = default;

bool MqttLink::fail(const QString &error)
{
    m_error = error;
    return false;
}

bool MqttLink::start()
{
    const auto readFile = [this](const QString &option, const QString &path, QByteArray *text) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1 %2: %3").arg(option, path, file.errorString()));
        *text = file.readAll();
        return true;
    };
    if (!m_options.passwordFile.isEmpty()) {
        if (m_options.user.isEmpty())
            return fail(QStringLiteral("mqtt-password-file needs mqtt-user"));
        QByteArray text;
        if (!readFile(QStringLiteral("mqtt-password-file"), m_options.passwordFile, &text))
            return false;
        // The first line; a file written by echo ends in a newline that is
        // not part of the password.
        m_password = text.left(text.indexOf('\n') < 0 ? text.size() : text.indexOf('\n'));
        if (m_password.endsWith('\r'))
            m_password.chop(1);
        if (m_password.isEmpty())
            return fail(QStringLiteral("mqtt-password-file %1: the first line is empty")
                            .arg(m_options.passwordFile));
    }
    if (!m_options.tlsCaFile.isEmpty()) {
        QByteArray text;
        if (!readFile(QStringLiteral("mqtt-tls-ca"), m_options.tlsCaFile, &text))
            return false;
        if (!text.contains("-----BEGIN CERTIFICATE-----"))
            return fail(QStringLiteral("mqtt-tls-ca %1: no PEM certificate in it")
                            .arg(m_options.tlsCaFile));
    }
    if (!m_options.labelsFile.isEmpty()) {
        QByteArray text;
        if (!readFile(QStringLiteral("labels"), m_options.labelsFile, &text))
            return false;
        QString why;
        const auto labels = PortLabels::parse(text, &why);
        if (!labels)
            return fail(QStringLiteral("labels %1: %2").arg(m_options.labelsFile, why));
        m_labels = *labels;
    }
    for (const QString &prefix : {m_options.prefix, m_options.discoveryPrefix}) {
        if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
            return fail(
                QStringLiteral("an MQTT prefix must not contain '+' or '#': %1").arg(prefix));
    }
    m_started = true;
    return m_name.isEmpty() || beginConnecting();
}

void MqttLink::stop()
{
    if (m_client.isConnected()) {
        // A clean disconnect does not fire the will, so offline is said here.
        m_client.publish(m_topics->status(), mqtt::offline, true);
    }
    m_client.close();
    m_started = false;
}

QString MqttLink::prefix() const
{
    return m_topics ? m_topics->prefix : QString();
}

bool MqttLink::beginConnecting()
{
    const QString prefix = m_options.prefix.isEmpty()
        ? QLatin1String("matrix-bridge/") + mqtt::topicSafe(m_name)
        : m_options.prefix;
    m_topics = std::make_unique<mqtt::Topics>(prefix, m_options.discoveryPrefix, m_name);
    MqttClient::Settings settings;
    settings.host = m_options.host;
    settings.port = m_options.port;
    settings.user = m_options.user;
    settings.password = m_password;
    settings.caFile = m_options.tlsCaFile;
    settings.willTopic = m_topics->status();
    settings.willPayload = mqtt::offline;
    QString error;
    if (!m_client.configure(settings, &error)) {
        // At start this stops the bridge; later (the name came from the
        // device) it can only be logged.
        emit logLine(QStringLiteral("MQTT: %1").arg(error));
        return fail(error);
    }
    m_client.open();
    return true;
}

void MqttLink::connected()
{
    emit logLine(QStringLiteral("MQTT: connected to %1, topics under %2/")
                     .arg(m_client.address(), m_topics->prefix));
    m_everConnected = true;
    m_published.clear();
    m_found.clear();
    for (const QString &filter : m_topics->commandFilters())
        m_client.subscribe(filter, 1);
    // Our own retained topics are subscribed to only to find what an
    // earlier run left (outputs the device no longer has): the broker
    // queues its stored copies as it takes the subscription, and they still
    // arrive after the unsubscription that follows at once. Staying
    // subscribed would bring every message of ours back to us, and each
    // extra packet from the broker may hold the next command back by a
    // delayed ACK (the broker does not disable Nagle by default).
    for (const QString &filter : m_topics->ownedFilters()) {
        m_client.subscribe(filter, 0);
        m_client.unsubscribe(filter);
    }
    publishState();
}

void MqttLink::connectionLost(const QString &reason)
{
    if (m_everConnected)
        emit logLine(QStringLiteral("MQTT: connection to %1 lost (%2); reconnecting")
                         .arg(m_client.address(), reason));
    else
        emit logLine(QStringLiteral("MQTT: cannot connect to %1 (%2); trying again")
                         .arg(m_client.address(), reason));
    m_everConnected = false;
}

void MqttLink::setDeviceUp(bool up)
{
    m_deviceUp = up;
    publishState();
}

void MqttLink::setInformation(const StatusReply &reply)
{
    if (reply.kind != StatusReply::DeviceInformation || !reply.countsAccepted)
        return;
    if (reply.outputs != m_device.outputs)
        m_device.routes.clear(); // a map for another output count means nothing now
    // The information comes again at every refresh; the discovery documents
    // are made again only when it changed.
    m_discoveryCurrent = m_discoveryCurrent && m_device.informed
        && m_device.letter == reply.deviceLetter && m_device.model == reply.model
        && m_device.inputs == reply.inputs && m_device.outputs == reply.outputs;
    m_device.informed = true;
    m_device.letter = reply.deviceLetter;
    m_device.model = reply.model;
    m_device.inputs = reply.inputs;
    m_device.outputs = reply.outputs;
    if (m_started && !m_topics) {
        m_name = mqtt::defaultName(m_device.letter, m_device.model);
        beginConnecting();
    }
    publishState();
}

void MqttLink::setRouting(const QVector<int> &sources)
{
    m_device.routes = sources;
    publishState();
}

bool MqttLink::isCommandTopic(const QString &topic) const
{
    return topic == m_topics->planRecall() || topic == m_topics->planSave()
        || (topic.startsWith(m_topics->prefix + QLatin1String("/output/"))
            && topic.endsWith(QLatin1String("/set")));
}

void MqttLink::messageReceived(const QString &topic, const QByteArray &payload, bool retained)
{
    if (isCommandTopic(topic)) {
        command(topic, payload, retained);
        return;
    }
    // Only the broker's stored copies matter here; our own publications
    // come back too, without the retained flag.
    if (retained && !payload.isEmpty()) {
        m_found.insert(topic);
        publishState();
    }
}

void MqttLink::command(const QString &topic, const QByteArray &payload, bool retained)
{
    const auto refuse = [&](const QString &why) {
        emit logLine(
            QStringLiteral("MQTT: refused %1 '%2': %3").arg(topic, mqtt::loggable(payload), why));
    };
    // A retained command would be carried out again at every reconnect,
    // long after whoever sent it stopped caring.
    if (retained)
        return refuse(QStringLiteral("retained commands are not carried out (publish without "
                                     "the retain flag)"));
    if (!m_deviceUp)
        return refuse(QStringLiteral("the device link is down"));
    const mqtt::Request request = mqtt::requestFor(*m_topics, m_labels, m_device, topic, payload);
    if (request.command.isEmpty())
        return refuse(request.refusal);
    emit commandReady(request.command, QStringLiteral("mqtt %1").arg(topic));
}

void MqttLink::publishState()
{
    if (!m_topics || !m_client.isConnected())
        return;
    if (!m_discoveryCurrent) {
        m_discovery = mqtt::discoveryMessages(*m_topics, m_name, m_labels, m_device);
        m_discoveryCurrent = true;
    }
    QMap<QString, QByteArray> wanted = m_discovery;
    wanted.insert(mqtt::stateMessages(*m_topics, m_labels, m_device));
    wanted.insert(m_topics->status(), m_deviceUp ? mqtt::online : mqtt::offline);
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
        const auto published = m_published.constFind(it.key());
        if (published != m_published.cend() && *published == it.value())
            continue;
        // QoS 0: nothing to acknowledge, so the broker sends us nothing
        // back; a message lost with the connection is published again on
        // the next one. The availability goes at QoS 1, as the will does.
        const int qos = it.key() == m_topics->status() ? 1 : 0;
        if (m_client.publish(it.key(), it.value(), true, qos))
            m_published.insert(it.key(), it.value());
    }
    // Topics of outputs the device no longer has: an empty retained
    // message deletes them (and their Home Assistant entities). Those of an
    // earlier run are only judged once the device's counts are known.
    QStringList gone;
    for (auto it = m_published.cbegin(); it != m_published.cend(); ++it) {
        if (!wanted.contains(it.key()))
            gone << it.key();
    }
    if (m_device.informed) {
        for (const QString &topic : qAsConst(m_found)) {
            if (!wanted.contains(topic))
                gone << topic;
        }
        m_found.clear();
    }
    for (const QString &topic : qAsConst(gone)) {
        m_client.publish(topic, QByteArray(), true, 0);
        m_published.remove(topic);
    }
}
