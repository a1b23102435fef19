#ifndef BRIDGE_MQTT_MQTTOPTIONS_H
#define BRIDGE_MQTT_MQTTOPTIONS_H

#include <QString>

// How the bridge reaches an MQTT broker. The same keys stand in the bridge's
// configuration file as on its command line (without the dashes). A
// password is only ever read from a file, never from the command line.
struct MqttOptions
{
    QString host; // empty: no MQTT
    quint16 port = 1883; // 8883 is usual with TLS, but only the option decides
    QString user;
    QString passwordFile;
    QString tlsCaFile; // TLS when given
    QString prefix; // empty: "matrix-bridge/" + the bridge's name
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString name; // empty: made from the device letter and model
    QString labelsFile;

    bool enabled() const { return !host.isEmpty(); }
};

#endif // BRIDGE_MQTT_MQTTOPTIONS_H
