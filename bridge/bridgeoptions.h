#ifndef BRIDGE_BRIDGEOPTIONS_H
#define BRIDGE_BRIDGEOPTIONS_H

#include "bridge/mqtt/mqttoptions.h"
#include "devicelink/linkoptions.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// Where the bridge listens for clients.
struct ListenAddress
{
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 8126; // 0: any free port, printed once bound

    bool enabled() const { return !address.isNull(); }
};

// Everything matrix-bridge is told, from its command line and its
// configuration file. Each option has one spelling in both places: the
// long option name without its dashes is the file's key.
struct BridgeOptions
{
    devicelink::LinkOptions link; // --serial/--baud or --tcp, as matrix-ctl takes them
    int reconnectMinMs = 500; // back-off after a failed link, doubling...
    int reconnectMaxMs = 10000; // ...up to this
    ListenAddress listen;
    ListenAddress readOnlyListen {QHostAddress(), 0}; // none unless asked for
    int maxClients = 32; // on both ports together
    int commandGapMs = 0; // on a serial line never less than a command's wire time
    int pollMs = 10000; // --poll is in seconds, decimals allowed; 0: no poll
    bool verbose = false;
    QString configFile;
    MqttOptions mqtt;
};

struct BridgeParseResult
{
    enum Outcome { Run, Help, Version, UsageError };

    Outcome outcome = UsageError;
    BridgeOptions options;
    QString error; // names the option or the file's line
};

// Reads the command line and, with --config FILE, the file it names; the
// command line wins over the file.
BridgeParseResult parseBridgeArguments(const QStringList &arguments);

// The file alone, applied over `options` (for tests and for the command
// line above). `source` names it in messages.
bool applyConfigText(const QString &text, const QString &source, BridgeOptions *options,
                     QString *error);

QString bridgeHelpText();

#endif // BRIDGE_BRIDGEOPTIONS_H
