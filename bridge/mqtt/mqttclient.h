#ifndef BRIDGE_MQTT_MQTTCLIENT_H
#define BRIDGE_MQTT_MQTTCLIENT_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

// One connection to an MQTT broker through libmosquitto, driven by the Qt
// event loop of the thread that owns it: socket notifiers on the client's
// socket, a timer for keep-alive pings, no thread of its own and no call
// that waits on the network. It connects, and after any loss reconnects
// with back-off, until close().
class MqttClient : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString host;
        quint16 port = 1883;
        QString user; // empty: no user name is sent
        QByteArray password;
        QString caFile; // TLS when given
        QString willTopic; // empty: no last will
        QByteArray willPayload;
        int keepAliveSeconds = 30;
    };

    // The reconnect back-off; static members so that tests and the docs read
    // the same figures.
    static constexpr int firstRetryMs = 500;
    static constexpr int longestRetryMs = 10000;
    // A connection that is not accepted in this time is dropped and tried
    // again, as one that fails.
    static constexpr int connectTimeoutMs = 10000;

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Applies the settings to a new libmosquitto client; false, with the
    // reason in *error, when libmosquitto refuses one (a CA file it cannot
    // load, say).
    bool configure(const Settings &settings, QString *error);
    void open(); // connects now, and again after every loss
    void close(); // a clean disconnect: the broker does not send the will

    bool isConnected() const { return m_connected; }
    QString address() const;

    // Both answer false when the client is not connected: nothing is kept
    // for later, the caller publishes its whole state again on connected().
    bool publish(const QString &topic, const QByteArray &payload, bool retain, int qos = 1);
    bool subscribe(const QString &pattern, int qos = 1);
    bool unsubscribe(const QString &pattern);

signals:
    void connected();
    // Once per loss or per failed first attempt, not once per retry:
    // reason says why, in English.
    void connectionLost(const QString &reason);
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    static void onConnect(struct mosquitto *, void *self, int rc);
    static void onDisconnect(struct mosquitto *, void *self, int rc);
    static void onMessage(struct mosquitto *, void *self, const struct mosquitto_message *message);

    void attempt();
    void failed(const QString &reason);
    void readable();
    void writable();
    void housekeeping();
    void checkResult(int rc, const char *what);
    void syncNotifiers();
    void dropNotifiers();

    struct mosquitto *m_client = nullptr;
    Settings m_settings;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    int m_socket = -1;
    QTimer m_retryTimer;
    QTimer m_miscTimer;
    QElapsedTimer m_attemptClock;
    int m_retryMs = firstRetryMs;
    bool m_open = false;
    bool m_connected = false;
    bool m_lossReported = false;
};

#endif // BRIDGE_MQTT_MQTTCLIENT_H
