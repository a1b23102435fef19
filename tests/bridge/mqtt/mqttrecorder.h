#ifndef TESTS_BRIDGE_MQTT_MQTTRECORDER_H
#define TESTS_BRIDGE_MQTT_MQTTRECORDER_H

#include "bridge/mqtt/mqttclient.h"

#include <QList>
#include <QTest>

// A second MQTT client on the test's side: subscribes, keeps every message
// it receives (and whether the broker sent it as a stored retained copy),
// and publishes commands.
class MqttRecorder : public QObject
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retained = false;
    };

    explicit MqttRecorder(quint16 port, const QStringList &filters = {QStringLiteral("#")},
                          MqttClient::Settings settings = {})
    {
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = port;
        QString error;
        m_configured = m_client.configure(settings, &error);
        connect(&m_client, &MqttClient::connected, this, [this, filters] {
            for (const QString &filter : filters)
                m_client.subscribe(filter);
        });
        connect(&m_client, &MqttClient::messageReceived, this,
                [this](const QString &topic, const QByteArray &payload, bool retained) {
                    m_messages.append({topic, payload, retained});
                });
        m_client.open();
    }

    bool waitConnected()
    {
        return m_configured && QTest::qWaitFor([this] { return m_client.isConnected(); }, 5000);
    }
    QList<Message> on(const QString &topic) const
    {
        QList<Message> on;
        for (const Message &message : m_messages) {
            if (message.topic == topic)
                on << message;
        }
        return on;
    }
    // The last payload on a topic; a null array when none came.
    QByteArray last(const QString &topic) const
    {
        const QList<Message> all = on(topic);
        return all.isEmpty() ? QByteArray() : all.constLast().payload;
    }
    bool has(const QString &topic) const { return !on(topic).isEmpty(); }
    const QList<Message> &messages() const { return m_messages; }
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false)
    {
        return m_client.publish(topic, payload, retain);
    }

private:
    MqttClient m_client;
    bool m_configured = false;
    QList<Message> m_messages;
};

#endif // TESTS_BRIDGE_MQTT_MQTTRECORDER_H
