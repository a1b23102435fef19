// matrix-bridge: holds the one link to the matrix switcher and shares it
// with every console, script and control system that connects; see --help.

#include "bridge/bridgeoptions.h"
#include "bridge/clientserver.h"
#include "bridge/eventlog.h"
#include "bridge/matrixbridge.h"
#include "bridge/mqtt/mqttlink.h"
#include "devicelink/signalpipe.h"
#include "matrixversion.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

constexpr int exitOk = 0;
constexpr int exitCannotListen = 1;
constexpr int exitUsage = 2;

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-bridge"));
    QCoreApplication::setApplicationVersion(QLatin1String(projectVersion));

    const BridgeParseResult parsed = parseBridgeArguments(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case BridgeParseResult::Help:
        std::fputs(bridgeHelpText().toLocal8Bit().constData(), stdout);
        return exitOk;
    case BridgeParseResult::Version:
        printOut(QStringLiteral("matrix-bridge %1").arg(QLatin1String(projectVersion)));
        return exitOk;
    case BridgeParseResult::UsageError:
        printErr(
            QStringLiteral("matrix-bridge: %1\nTry 'matrix-bridge --help'.").arg(parsed.error));
        return exitUsage;
    case BridgeParseResult::Run:
        break;
    }
    const BridgeOptions &options = parsed.options;
    eventlog::setVerbose(options.verbose);

    devicelink::SignalPipe stopSignals;
    if (!stopSignals.isValid()) {
        printErr(QStringLiteral("matrix-bridge: cannot set up signal handling"));
        return exitCannotListen;
    }
    QObject::connect(&stopSignals, &devicelink::SignalPipe::received, &app,
                     &QCoreApplication::quit);

    MatrixBridge bridge(options);
    // The MQTT side follows the device's state and queues its commands like
    // any client's; its files are read before anything listens, so a
    // mistake there stops the bridge at once.
    std::unique_ptr<MqttLink> mqtt;
    if (options.mqtt.enabled()) {
        mqtt = std::make_unique<MqttLink>(options.mqtt);
        QObject::connect(mqtt.get(), &MqttLink::logLine, &eventlog::logEvent);
        QObject::connect(mqtt.get(), &MqttLink::commandReady, &bridge, &MatrixBridge::submit);
        QObject::connect(&bridge, &MatrixBridge::deviceLinkChanged, mqtt.get(),
                         &MqttLink::setDeviceUp);
        QObject::connect(&bridge, &MatrixBridge::informationReceived, mqtt.get(),
                         &MqttLink::setInformation);
        QObject::connect(&bridge, &MatrixBridge::routingReceived, mqtt.get(),
                         &MqttLink::setRouting);
        if (!mqtt->start()) {
            printErr(QStringLiteral("matrix-bridge: %1\nTry 'matrix-bridge --help'.")
                         .arg(mqtt->errorString()));
            return exitUsage;
        }
    }
    ClientServer clients(&bridge, options.maxClients);
    if (!clients.listen(options.listen, false)
        || (options.readOnlyListen.enabled() && !clients.listen(options.readOnlyListen, true))) {
        printErr(QStringLiteral("matrix-bridge: %1").arg(clients.errorString()));
        return exitCannotListen;
    }
    // Scripts that asked for port 0 read the port chosen here.
    printOut(QStringLiteral("listen %1").arg(clients.boundAddress(false)));
    if (options.readOnlyListen.enabled())
        printOut(QStringLiteral("read-only %1").arg(clients.boundAddress(true)));
    eventlog::logEvent(
        QStringLiteral("matrix-bridge %1: device %2, clients on %3%4")
            .arg(QLatin1String(projectVersion), bridge.deviceName(), clients.boundAddress(false),
                 options.readOnlyListen.enabled()
                     ? QStringLiteral(", read-only on %1").arg(clients.boundAddress(true))
                     : QString()));
    bridge.start();

    const int status = app.exec();
    eventlog::logEvent(QStringLiteral("stopping: closing %1 clients and the device link")
                           .arg(clients.clientCount()));
    clients.closeAll();
    if (mqtt)
        mqtt->stop(); // says offline itself: a clean exit fires no will
    bridge.stop();
    return status;
}
