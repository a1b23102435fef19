#include "bridge/mqtt/mqttclient.h"

#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Pings are due every keep-alive period (30 s) and the broker gives up on
// a client after one and a half: looking every 10 s sends each ping in
// time and keeps an idle bridge nearly asleep. While connecting the same
// timer watches for an attempt that hangs.
constexpr int connectedMiscMs = 10000;
constexpr int connectingMiscMs = 1000;

void initLibrary()
{
    static std::once_flag once;
    // libmosquitto wants one init per process and offers no reference count;
    // the cleanup is left to process exit.
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString describe(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    QString text = QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1); // it goes inside a log line's parentheses
    return text;
}

} // namespace

MqttClient::MqttClient(QObject *parent)
    : QObject(parent)
{
    initLibrary();
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &MqttClient::attempt);
    connect(&m_miscTimer, &QTimer::timeout, this, &MqttClient::housekeeping);
}

MqttClient::~MqttClient()
{
    dropNotifiers();
    if (m_client)
        mosquitto_destroy(m_client);
}

bool MqttClient::configure(const Settings &settings, QString *error)
{
    if (m_client)
        mosquitto_destroy(m_client);
    m_settings = settings;
    // A random client id: two bridges never push each other off the broker.
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client) {
        *error = QStringLiteral("cannot create an MQTT client: %1").arg(describe(MOSQ_ERR_ERRNO));
        return false;
    }
    mosquitto_threaded_set(m_client, false);
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A route change publishes several small messages at once; with Nagle's
    // algorithm each after the first waits for the broker's delayed ACK
    // (some 40 ms).
    mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_client, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(m_client, &MqttClient::onMessage);

    int rc = MOSQ_ERR_SUCCESS;
    if (!settings.user.isEmpty()) {
        rc = mosquitto_username_pw_set(m_client, settings.user.toUtf8().constData(),
                                       settings.password.isNull() ? nullptr
                                                                  : settings.password.constData());
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("MQTT user name refused: %1").arg(describe(rc));
            return false;
        }
    }
    if (!settings.caFile.isEmpty()) {
        rc = mosquitto_tls_set(m_client, settings.caFile.toLocal8Bit().constData(), nullptr,
                               nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("MQTT TLS CA file %1 refused: %2")
                         .arg(settings.caFile, describe(rc));
            return false;
        }
    }
    if (!settings.willTopic.isEmpty()) {
        const QByteArray topic = settings.willTopic.toUtf8();
        rc = mosquitto_will_set(m_client, topic.constData(), settings.willPayload.size(),
                                settings.willPayload.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error
                = QStringLiteral("MQTT topic %1 refused: %2").arg(settings.willTopic, describe(rc));
            return false;
        }
    }
    return true;
}

QString MqttClient::address() const
{
    return QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
}

void MqttClient::open()
{
    if (!m_client || m_open)
        return;
    m_open = true;
    m_retryMs = firstRetryMs;
    m_lossReported = false;
    attempt();
}

void MqttClient::close()
{
    m_open = false;
    m_retryTimer.stop();
    m_miscTimer.stop();
    if (m_client && m_socket >= 0) {
        // The DISCONNECT is written at once when the socket takes it; the
        // socket itself is closed by mosquitto_destroy.
        mosquitto_disconnect(m_client);
    }
    m_connected = false;
    dropNotifiers();
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain, int qos)
{
    if (!m_connected)
        return false;
    const int rc = mosquitto_publish(m_client, nullptr, topic.toUtf8().constData(), payload.size(),
                                     payload.constData(), qos, retain);
    syncNotifiers();
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const QString &pattern, int qos)
{
    if (!m_connected)
        return false;
    const int rc = mosquitto_subscribe(m_client, nullptr, pattern.toUtf8().constData(), qos);
    syncNotifiers();
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::unsubscribe(const QString &pattern)
{
    if (!m_connected)
        return false;
    const int rc = mosquitto_unsubscribe(m_client, nullptr, pattern.toUtf8().constData());
    syncNotifiers();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::attempt()
{
    if (!m_open)
        return;
    dropNotifiers();
    m_connected = false;
    m_attemptClock.start();
    // Non-blocking: the TCP connection and the TLS handshake complete in
    // the notifiers. A host name is resolved here, which is why the bridge
    // is best given an address.
    const int rc = mosquitto_connect_async(m_client, m_settings.host.toUtf8().constData(),
                                           m_settings.port, m_settings.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        failed(describe(rc));
        return;
    }
    syncNotifiers();
    m_miscTimer.start(connectingMiscMs);
}

void MqttClient::failed(const QString &reason)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    dropNotifiers();
    m_miscTimer.stop();
    if (!m_open || m_retryTimer.isActive())
        return;
    if (!m_lossReported || wasConnected) {
        m_lossReported = true;
        emit connectionLost(reason);
    }
    m_retryTimer.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, longestRetryMs);
}

void MqttClient::readable()
{
    checkResult(mosquitto_loop_read(m_client, 1), "read");
}

void MqttClient::writable()
{
    checkResult(mosquitto_loop_write(m_client, 1), "write");
}

void MqttClient::housekeeping()
{
    if (!m_connected && m_attemptClock.isValid() && m_attemptClock.elapsed() > connectTimeoutMs) {
        failed(QStringLiteral("no answer within %1 s").arg(connectTimeoutMs / 1000));
        return;
    }
    checkResult(mosquitto_loop_misc(m_client), "housekeeping");
}

void MqttClient::checkResult(int rc, const char *what)
{
    Q_UNUSED(what);
    if (rc == MOSQ_ERR_SUCCESS) {
        syncNotifiers();
        return;
    }
    // libmosquitto has closed the socket already (and told onDisconnect).
    failed(describe(rc));
}

void MqttClient::syncNotifiers()
{
    if (!m_client)
        return;
    const int socket = mosquitto_socket(m_client);
    if (socket != m_socket) {
        dropNotifiers();
        m_socket = socket;
        if (socket >= 0) {
            m_readNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttClient::readable);
            m_writeNotifier = new QSocketNotifier(socket, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttClient::writable);
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_client));
}

void MqttClient::dropNotifiers()
{
    // Called from the notifiers' own signals too: disabled now, deleted
    // once the event loop has left them.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_socket = -1;
}

void MqttClient::onConnect(struct mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (rc != 0) {
        client->failed(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    client->m_connected = true;
    client->m_lossReported = false;
    client->m_retryMs = firstRetryMs;
    client->m_miscTimer.start(connectedMiscMs);
    emit client->connected();
}

void MqttClient::onDisconnect(struct mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (client->m_open && rc != 0)
        client->failed(describe(rc));
}

void MqttClient::onMessage(struct mosquitto *, void *self, const struct mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    emit client->messageReceived(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
        message->retain);
}
