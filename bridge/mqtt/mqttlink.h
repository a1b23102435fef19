#ifndef BRIDGE_MQTT_MQTTLINK_H
#define BRIDGE_MQTT_MQTTLINK_H

#include "bridge/mqtt/mqttclient.h"
#include "bridge/mqtt/mqttmessages.h"
#include "bridge/mqtt/mqttoptions.h"
#include "bridge/mqtt/portlabels.h"
#include "matrix/replydecoder.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

// The bridge's MQTT side: mirrors the device's state into retained topics
// and Home Assistant discovery, and turns command messages into command
// lines built by the project's builders. It never waits for the broker: the
// device side feeds it through the slots, and while the broker is away the
// state is only remembered and published whole on the next connection.
//
// Without a name in the options the topics are named after the device, so
// the connection to the broker waits for the first device information.
class MqttLink : public QObject
{
    Q_OBJECT
public:
    explicit MqttLink(const MqttOptions &options, QObject *parent = nullptr);
    ~MqttLink() override;

    // Reads the password, CA and labels files; false, with errorString(),
    // when one is missing or wrong. Then connects, and keeps connecting.
    bool start();
    // Publishes offline and leaves the broker cleanly.
    void stop();
    QString errorString() const { return m_error; }

    QString name() const { return m_name; } // empty until known
    QString prefix() const; // the topics' prefix; empty until the name is known
    bool isConnected() const { return m_client.isConnected(); }

public slots:
    void setDeviceUp(bool up);
    void setInformation(const StatusReply &reply);
    void setRouting(const QVector<int> &sources);

signals:
    // A command line for the device, checked and built; origin names the
    // topic for the bridge's log.
    void commandReady(const QByteArray &line, const QString &origin);
    void logLine(const QString &line);

private:
    bool fail(const QString &error);
    bool beginConnecting();
    void connected();
    void connectionLost(const QString &reason);
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
    void command(const QString &topic, const QByteArray &payload, bool retained);
    bool isCommandTopic(const QString &topic) const;
    void publishState();

    MqttOptions m_options;
    QString m_error;
    QString m_name;
    QByteArray m_password;
    PortLabels m_labels;
    std::unique_ptr<mqtt::Topics> m_topics;
    mqtt::DeviceState m_device;
    bool m_deviceUp = false;
    bool m_started = false;
    bool m_everConnected = false;
    MqttClient m_client;
    // What this connection has published, so that only changes go out and
    // vanished topics can be emptied.
    QHash<QString, QByteArray> m_published;
    // Made again only when the device information changes.
    QMap<QString, QByteArray> m_discovery;
    bool m_discoveryCurrent = false;
    // Retained topics of ours found on the broker (an earlier run's).
    QSet<QString> m_found;
};

#endif // BRIDGE_MQTT_MQTTLINK_H
