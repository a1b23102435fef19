#ifndef BRIDGE_MQTT_MQTTMESSAGES_H
#define BRIDGE_MQTT_MQTTMESSAGES_H

#include "bridge/mqtt/portlabels.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// What the bridge says on MQTT and what it accepts there, as pure functions
// of the device's state: no broker, no socket, so every message and every
// refusal can be checked byte for byte.
//
// Topics, under PREFIX (default matrix-bridge/NAME):
//   PREFIX/status             online | offline (retained; the last will)
//   PREFIX/state              {"letter","model","inputs","outputs","routes"}
//                             (retained; routes[j] feeds output j+1)
//   PREFIX/output/N           the input number feeding output N (retained)
//   PREFIX/output/N/name      that input's name, or None (retained)
//   PREFIX/output/N/set       command: an input number or an input's name
//   PREFIX/plan/recall        command: a plan number 1..30
//   PREFIX/plan/save          command: a plan number 1..30
// and Home Assistant discovery (retained) under DISCOVERY (homeassistant):
//   DISCOVERY/select/ID/output_N/config     one select per output
//   DISCOVERY/select/ID/plan_recall/config  the plan to recall
namespace mqtt {

// What the bridge knows of the device.
struct DeviceState
{
    bool informed = false; // device information with usable counts received
    QString letter;
    QString model;
    int inputs = 0;
    int outputs = 0;
    QVector<int> routes; // as in the last routing map; empty before one came
};

// A name made only of characters every MQTT and Home Assistant identifier
// accepts: letters, digits, '-' and '_' (anything else becomes '_').
QString topicSafe(const QString &name);
// The bridge's name when none is given: "A-MODEL" from the device's letter
// and model.
QString defaultName(const QString &letter, const QString &model);

struct Topics
{
    QString prefix; // without a trailing '/'
    QString discoveryPrefix;
    QString deviceId; // topic-safe, unique per bridge

    Topics(const QString &prefix, const QString &discoveryPrefix, const QString &name);

    QString status() const { return prefix + QLatin1String("/status"); }
    QString state() const { return prefix + QLatin1String("/state"); }
    QString output(int output) const;
    QString outputName(int output) const;
    QString outputSet(int output) const;
    QString planRecall() const { return prefix + QLatin1String("/plan/recall"); }
    QString planSave() const { return prefix + QLatin1String("/plan/save"); }
    QString outputConfig(int output) const;
    QString planConfig() const;

    // Subscriptions: the commands, and the retained topics the bridge owns,
    // so that entities of a larger device left from an earlier run are
    // seen and removed.
    QStringList commandFilters() const;
    QStringList ownedFilters() const;
};

constexpr char online[] = "online";
constexpr char offline[] = "offline";
// The most a command payload may carry; an input's name is at most 64
// characters, in UTF-8 at most four bytes each.
constexpr int longestPayload = 256;

// Every retained message the bridge keeps on the broker for this state,
// except status: the device document, each output's two topics and the
// discovery configurations. Empty before the device information came.
QMap<QString, QByteArray> retainedMessages(const Topics &topics, const QString &name,
                                           const PortLabels &labels, const DeviceState &device);
// The same in two parts: the discovery configurations change only with the
// device information, the rest with every routing map.
QMap<QString, QByteArray> discoveryMessages(const Topics &topics, const QString &name,
                                            const PortLabels &labels, const DeviceState &device);
QMap<QString, QByteArray> stateMessages(const Topics &topics, const PortLabels &labels,
                                        const DeviceState &device);

// The command a message on a command topic asks for, or why nothing goes
// to the device.
struct Request
{
    QByteArray command; // one command line; empty when refused
    QString refusal; // an English reason, for the log
};
Request requestFor(const Topics &topics, const PortLabels &labels, const DeviceState &device,
                   const QString &topic, const QByteArray &payload);

// A payload as it may appear in a one-line log entry: control characters
// shown as '?', long ones cut.
QString loggable(const QByteArray &payload);

} // namespace mqtt

#endif // BRIDGE_MQTT_MQTTMESSAGES_H
