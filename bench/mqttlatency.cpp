// How long the bridge's MQTT side takes, against the broker's own share.
//
// Starts Debian's mosquitto on 127.0.0.1 (a free port) and two plain MQTT
// clients in this process, then times RUNS rounds (default 200) and prints
// median and worst in ms:
//   set -> command     a client publishes an input number to
//                      PREFIX/output/1/set; done when the command line is
//                      at the device
//   reply -> retained  the device answers with its routing map; done when
//                      a subscriber has the new PREFIX/output/1
//   broker round trip  one plain client publishes, the other has it: what
//                      the broker and two sockets cost, the share of each
//                      figure above that is not the bridge's
//
// With a path to matrix-bridge, the real program runs between a scripted
// 8x8 device on loopback (which answers every switch with its map at once)
// and the broker. Without one, an MqttLink in this process stands for the
// bridge and is handed the device's replies directly.
//
// usage: mqttlatency [RUNS [MATRIX-BRIDGE]]

#include "bridge/mqtt/mqttlink.h"
#include "mosquittobroker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr int stepTimeoutMs = 5000;
constexpr int outputs = 8;
const QString prefix = QStringLiteral("matrix-bridge/bench");

struct Figures
{
    double median = 0;
    double worst = 0;
};

Figures figuresOf(QVector<double> times)
{
    std::sort(times.begin(), times.end());
    return Figures {times.at(times.size() / 2), times.last()};
}

// Waits for a condition that the watched signals change: progress() asks
// it again, so the figures have no polling granularity.
class Waiter
{
public:
    Waiter()
    {
        m_timeout.setSingleShot(true);
        QObject::connect(&m_timeout, &QTimer::timeout, &m_loop, &QEventLoop::quit);
    }
    void progress()
    {
        if (m_loop.isRunning() && m_done && m_done())
            m_loop.quit();
    }
    bool wait(const std::function<bool()> &done)
    {
        if (done())
            return true;
        m_done = done;
        m_timeout.start(stepTimeoutMs); // one timer, restarted: no stale quit from a past wait
        m_loop.exec();
        m_timeout.stop();
        m_done = nullptr;
        return done();
    }

private:
    QEventLoop m_loop;
    QTimer m_timeout;
    std::function<bool()> m_done;
};

QByteArray mapFor(const QVector<int> &routes)
{
    QByteArray map = "A:";
    for (int input : routes)
        map += QByteArray::number(input).rightJustified(2, '0');
    return map;
}

// The device behind a real bridge: answers the information and map
// requests, and every switch with its map, as soon as the command is whole.
class ScriptedDevice : public QTcpServer
{
public:
    ScriptedDevice(Waiter *waiter, QVector<int> *routes)
    {
        connect(this, &QTcpServer::newConnection, [this, waiter, routes] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                m_link = socket;
                connect(socket, &QTcpSocket::readyRead, [this, socket, waiter, routes] {
                    m_pending += socket->readAll();
                    int end;
                    while ((end = m_pending.indexOf('!')) >= 0) {
                        const QByteArray command = m_pending.left(end + 1);
                        m_pending.remove(0, end + 1);
                        if (command == "*?!") {
                            socket->write(QByteArray("A:\x04HDMIx08-08-SIM0", 18));
                        } else if (command == "*!") {
                            socket->write(mapFor(*routes));
                        } else if (command.contains('<')) {
                            commandAt.restart();
                            lastCommand = command;
                            waiter->progress();
                            const int output = command.mid(1, command.indexOf('<') - 1).toInt();
                            (*routes)[output - 1]
                                = command.mid(command.indexOf('<') + 1).chopped(1).toInt();
                            replyAt.restart();
                            socket->write(mapFor(*routes));
                            socket->flush();
                        }
                    }
                });
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QElapsedTimer commandAt;
    QElapsedTimer replyAt;
    QByteArray lastCommand;

private:
    QPointer<QTcpSocket> m_link;
    QByteArray m_pending;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString(argv[1]).toInt()) : 200;
    const QString bridgePath = argc > 2 ? QString(argv[2]) : QString();
    QTextStream out(stdout);
    MosquittoBroker broker;
    if (!broker.start()) {
        out << "mosquitto did not start: " << broker.log() << Qt::endl;
        return 1;
    }
    Waiter waiter;
    QVector<int> routes(outputs, 1);

    // The bridge: the real program with a scripted device, or MqttLink alone.
    std::unique_ptr<ScriptedDevice> device;
    std::unique_ptr<QProcess> bridge;
    std::unique_ptr<MqttLink> link;
    QByteArray lastCommand;
    if (!bridgePath.isEmpty()) {
        device = std::make_unique<ScriptedDevice>(&waiter, &routes);
        bridge = std::make_unique<QProcess>();
        bridge->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        bridge->start(bridgePath,
                      {"--tcp", "127.0.0.1:" + QString::number(device->serverPort()), "--listen",
                       "127.0.0.1:0", "--poll", "0", "--mqtt",
                       "127.0.0.1:" + QString::number(broker.port()), "--name", "bench",
                       "--verbose"});
    } else {
        MqttOptions options;
        options.host = QStringLiteral("127.0.0.1");
        options.port = broker.port();
        options.name = QStringLiteral("bench");
        link = std::make_unique<MqttLink>(options);
        QObject::connect(link.get(), &MqttLink::commandReady, [&](const QByteArray &line) {
            lastCommand = line;
            waiter.progress();
        });
        StatusReply information;
        information.kind = StatusReply::DeviceInformation;
        information.deviceLetter = QStringLiteral("A");
        information.model = QStringLiteral("BENCH");
        information.inputs = information.outputs = outputs;
        information.countsAccepted = true;
        link->setDeviceUp(true);
        link->setInformation(information);
        link->setRouting(routes);
        link->start();
    }

    MqttClient publisher;
    MqttClient subscriber;
    // The broker's share on a connection that carries nothing else, as
    // mosquitto_pub to mosquitto_sub would see it without process starts.
    MqttClient echoer;
    MqttClient::Settings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = broker.port();
    QString error;
    publisher.configure(settings, &error);
    subscriber.configure(settings, &error);
    echoer.configure(settings, &error);
    QByteArray lastOutput1;
    int echoes = 0;
    QObject::connect(&subscriber, &MqttClient::messageReceived,
                     [&](const QString &topic, const QByteArray &payload) {
                         if (topic == prefix + QLatin1String("/output/1"))
                             lastOutput1 = payload;
                         waiter.progress();
                     });
    QObject::connect(&echoer, &MqttClient::messageReceived, [&] {
        ++echoes;
        waiter.progress();
    });
    QObject::connect(&echoer, &MqttClient::connected,
                     [&] { echoer.subscribe(QStringLiteral("bench/echo")); });
    QObject::connect(&subscriber, &MqttClient::connected,
                     [&] { subscriber.subscribe(prefix + QLatin1String("/output/1")); });
    publisher.open();
    subscriber.open();
    echoer.open();
    if (!waiter.wait([&] {
            return publisher.isConnected() && echoer.isConnected() && lastOutput1 == "1";
        })) {
        out << "the bridge's state did not reach the broker" << Qt::endl;
        return 1;
    }
    echoer.publish(QStringLiteral("bench/echo"), "x", false);
    if (!waiter.wait([&] { return echoes > 0; }))
        return 1;

    QVector<double> setTimes, replyTimes, brokerTimes;
    for (int run = 0; run < runs; ++run) {
        const int input = run % 2 ? 3 : 2;
        const QByteArray command = "*1<" + QByteArray::number(input) + "!";
        QElapsedTimer clock;
        clock.start();
        if (!publisher.publish(prefix + QLatin1String("/output/1/set"), QByteArray::number(input),
                               false)) {
            out << "the publisher could not publish in round " << run << Qt::endl;
            return 1;
        }
        const auto commandArrived
            = [&] { return device ? device->lastCommand == command : lastCommand == command; };
        if (!waiter.wait(commandArrived)) {
            out << "no command at the device in round " << run << Qt::endl;
            return 1;
        }
        setTimes << clock.nsecsElapsed() / 1e6;
        QElapsedTimer replyClock;
        replyClock.start();
        if (link) {
            routes[0] = input;
            link->setRouting(routes);
        }
        if (!waiter.wait([&] { return lastOutput1 == QByteArray::number(input); })) {
            out << "no retained state in round " << run << Qt::endl;
            return 1;
        }
        // The scripted device wrote its map as the command arrived.
        replyTimes << (device ? device->replyAt.nsecsElapsed() : replyClock.nsecsElapsed()) / 1e6;
        device ? device->lastCommand.clear() : lastCommand.clear();

        QElapsedTimer echoClock;
        echoClock.start();
        echoes = 0;
        echoer.publish(QStringLiteral("bench/echo"), "x", false);
        if (!waiter.wait([&] { return echoes > 0; }))
            return 1;
        brokerTimes << echoClock.nsecsElapsed() / 1e6;
    }

    const Figures set = figuresOf(setTimes);
    const Figures reply = figuresOf(replyTimes);
    const Figures round = figuresOf(brokerTimes);
    const auto line = [&](const char *what, const Figures &figures) {
        out << QString::asprintf("%-20s median %7.3f ms   worst %7.3f ms", what, figures.median,
                                 figures.worst)
            << Qt::endl;
    };
    out << (bridge ? "matrix-bridge (program)" : "MqttLink (in process)") << ", runs: " << runs
        << Qt::endl;
    line("set -> command", set);
    line("reply -> retained", reply);
    line("broker round trip", round);
    out << QString::asprintf("bridge's share (medians): set %.3f ms, reply %.3f ms",
                             set.median - round.median, reply.median - round.median)
        << Qt::endl;
    if (bridge) {
        bridge->terminate();
        bridge->waitForFinished(stepTimeoutMs);
    } else {
        link->stop();
    }
    return 0;
}
