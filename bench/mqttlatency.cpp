// How long the bridge's MQTT side takes, against the broker's own share.
//
// Starts Debian's mosquitto on 127.0.0.1 (a free port), an MqttLink fed a
// 16x16 device, and two plain clients, all in this process, then times
// RUNS times each (default 200) and prints median and worst in ms:
//   set -> command     a client publishes an input number to
//                      PREFIX/output/1/set; done when the link hands the
//                      built command line to the device side
//   reply -> retained  the device side hands the link a new routing map;
//                      done when a subscriber has PREFIX/output/1
//   broker round trip  one client publishes, the other has it: what the
//                      broker and the two sockets cost alone
// The link's own share is each of the first two minus the third.
//
// usage: mqttlatency [RUNS]

#include "bridge/mqtt/mqttlink.h"
#include "mosquittobroker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

constexpr int stepTimeoutMs = 5000;

struct Figures
{
    double median = 0;
    double worst = 0;
};

// Times start() until done() holds, runs times; nothing when one run does
// not finish in time. done() is asked whenever a watched signal came
// (progress()), so the figures have no polling granularity.
class Meter
{
public:
    void progress()
    {
        if (m_loop.isRunning() && m_done && m_done())
            m_loop.quit();
    }
    std::optional<Figures> measure(int runs, const std::function<void(int)> &start,
                                   const std::function<bool()> &done)
    {
        QVector<double> times;
        m_done = done;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            start(run);
            if (!done()) {
                QTimer::singleShot(stepTimeoutMs, &m_loop, &QEventLoop::quit);
                m_loop.exec();
            }
            if (!done())
                return std::nullopt;
            times << clock.nsecsElapsed() / 1e6;
        }
        m_done = nullptr;
        std::sort(times.begin(), times.end());
        return Figures {times.at(times.size() / 2), times.last()};
    }

private:
    QEventLoop m_loop;
    std::function<bool()> m_done;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString(argv[1]).toInt()) : 200;
    QTextStream out(stdout);
    MosquittoBroker broker;
    if (!broker.start()) {
        out << "mosquitto did not start: " << broker.log() << Qt::endl;
        return 1;
    }

    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = broker.port();
    options.name = QStringLiteral("bench");
    const QString prefix = QStringLiteral("matrix-bridge/bench");
    MqttLink link(options);
    Meter meter;
    int commands = 0;
    QObject::connect(&link, &MqttLink::commandReady, [&] {
        ++commands;
        meter.progress();
    });
    StatusReply information;
    information.kind = StatusReply::DeviceInformation;
    information.deviceLetter = QStringLiteral("A");
    information.model = QStringLiteral("BENCH");
    information.inputs = information.outputs = 16;
    information.countsAccepted = true;
    link.setDeviceUp(true);
    link.setInformation(information);
    QVector<int> routes(16, 1);
    link.setRouting(routes);
    if (!link.start())
        return 1;

    MqttClient publisher;
    MqttClient subscriber;
    MqttClient::Settings settings;
    settings.host = options.host;
    settings.port = options.port;
    QString error;
    publisher.configure(settings, &error);
    subscriber.configure(settings, &error);
    QByteArray lastOutput1;
    int echoes = 0;
    QObject::connect(&subscriber, &MqttClient::messageReceived,
                     [&](const QString &topic, const QByteArray &payload) {
                         if (topic == prefix + QLatin1String("/output/1"))
                             lastOutput1 = payload;
                         else
                             ++echoes;
                         meter.progress();
                     });
    QObject::connect(&subscriber, &MqttClient::connected, [&] {
        subscriber.subscribe(prefix + QLatin1String("/output/1"));
        subscriber.subscribe(QStringLiteral("bench/echo"));
    });
    publisher.open();
    subscriber.open();
    if (!QTest::qWaitFor(
            [&] { return link.isConnected() && publisher.isConnected() && lastOutput1 == "1"; },
            stepTimeoutMs)) {
        out << "the clients did not connect" << Qt::endl;
        return 1;
    }
    // The subscription to the echo topic is in place once one echo came.
    publisher.publish(QStringLiteral("bench/echo"), "x", false);
    if (!QTest::qWaitFor([&] { return echoes > 0; }, stepTimeoutMs))
        return 1;

    int target = 0;
    const auto setToCommand = meter.measure(
        runs,
        [&](int run) {
            target = commands + 1;
            publisher.publish(prefix + QLatin1String("/output/1/set"),
                              QByteArray::number(run % 16 + 1), false);
        },
        [&] { return commands >= target; });
    const auto replyToRetained = meter.measure(
        runs,
        [&](int run) {
            routes[0] = run % 2 ? 3 : 2;
            link.setRouting(routes);
        },
        [&] { return lastOutput1 == QByteArray::number(routes[0]); });
    const auto brokerRoundTrip = meter.measure(
        runs,
        [&](int) {
            echoes = 0;
            publisher.publish(QStringLiteral("bench/echo"), "x", false);
        },
        [&] { return echoes > 0; });
    if (!setToCommand || !replyToRetained || !brokerRoundTrip) {
        out << "a step did not finish within " << stepTimeoutMs << " ms:" << !setToCommand
            << !replyToRetained << !brokerRoundTrip << Qt::endl;
        return 1;
    }
    const auto line = [&](const char *what, const Figures &figures) {
        out << QString::asprintf("%-20s median %7.3f ms   worst %7.3f ms", what, figures.median,
                                 figures.worst)
            << Qt::endl;
    };
    out << "runs: " << runs << Qt::endl;
    line("set -> command", *setToCommand);
    line("reply -> retained", *replyToRetained);
    line("broker round trip", *brokerRoundTrip);
    out << QString::asprintf("link's share (median): set %.3f ms, reply %.3f ms",
                             setToCommand->median - brokerRoundTrip->median,
                             replyToRetained->median - brokerRoundTrip->median)
        << Qt::endl;
    link.stop();
    return 0;
}
