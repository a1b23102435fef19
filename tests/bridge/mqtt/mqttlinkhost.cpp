// An MqttLink alone in a process, fed a fixed 4x4 device: for the tests that
// kill the bridge's process (the broker's last will) and for measurements.
// Prints each command line it would send to the device, one per line.
//
// usage: mqttlinkhost PORT NAME

#include "bridge/mqtt/mqttlink.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = args.at(1).toUShort();
    options.name = args.at(2);
    MqttLink link(options);
    QTextStream out(stdout);
    QObject::connect(&link, &MqttLink::commandReady,
                     [&out](const QByteArray &line) { out << line << Qt::endl; });
    QObject::connect(&link, &MqttLink::logLine,
                     [](const QString &line) { QTextStream(stderr) << line << Qt::endl; });
    if (!link.start())
        return 2;
    StatusReply information;
    information.kind = StatusReply::DeviceInformation;
    information.deviceLetter = QStringLiteral("A");
    information.model = QStringLiteral("HOST-44");
    information.inputs = 4;
    information.outputs = 4;
    information.countsAccepted = true;
    link.setDeviceUp(true);
    link.setInformation(information);
    link.setRouting({1, 2, 3, 4});
    return app.exec();
}
