#include "bridge/bridgeoptions.h"

#include "devicelink/hostport.h"

#include <QFile>

namespace {

struct OptionInfo
{
    const char *name;
    bool takesValue;
    bool inFile; // false: command line only
};

// clang-format off
const OptionInfo optionTable[] = {
    {"serial", true, true}, {"baud", true, true}, {"tcp", true, true},
    {"timeout", true, true}, {"reconnect-min", true, true}, {"reconnect-max", true, true},
    {"listen", true, true}, {"read-only-listen", true, true}, {"max-clients", true, true},
    {"command-gap", true, true}, {"poll", true, true}, {"verbose", false, true},
    {"mqtt", true, true}, {"mqtt-user", true, true}, {"mqtt-password-file", true, true},
    {"mqtt-tls-ca", true, true}, {"mqtt-prefix", true, true},
    {"mqtt-discovery-prefix", true, true}, {"name", true, true}, {"labels", true, true},
    {"config", true, false}, {"help", false, false}, {"version", false, false},
};
// clang-format on

const OptionInfo *findOption(const QString &name)
{
    for (const OptionInfo &option : optionTable) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

// One name = value, wherever it was written; `where` starts every message
// about it ("--baud" or "/etc/matrix-bridge/rack.conf:3: baud").
struct Setting
{
    QString name;
    QString value;
    QString where;
};

bool parseNumber(const QString &text, int minimum, int maximum, int *value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toInt();
    return *value >= minimum && *value <= maximum;
}

bool parseEndpoint(const QString &text, quint16 defaultPort, quint16 minimumPort, QString *host,
                   quint16 *port, QString *error)
{
    const std::optional<devicelink::HostPort> parsed
        = devicelink::parseHostPort(text, defaultPort, error, minimumPort);
    if (!parsed)
        return false;
    *host = parsed->host;
    *port = parsed->port;
    return true;
}

// Listening needs a literal address: the bridge binds only what it is told.
bool parseListen(const QString &text, ListenAddress *listen, QString *error)
{
    QString host;
    if (!parseEndpoint(text, devicelink::defaultTcpPort, 0, &host, &listen->port, error))
        return false;
    if (host == QLatin1String("localhost")) {
        listen->address = QHostAddress(QHostAddress::LocalHost);
    } else if (!listen->address.setAddress(host)) {
        *error
            = QStringLiteral("'%1' is not an IP address (0.0.0.0 or :: for every one)").arg(host);
        return false;
    }
    return true;
}

bool parseSwitch(const QString &value, bool *on)
{
    const QString v = value.toLower();
    if (v == QLatin1String("yes") || v == QLatin1String("true") || v == QLatin1String("on")
        || v == QLatin1String("1")) {
        *on = true;
        return true;
    }
    if (v == QLatin1String("no") || v == QLatin1String("false") || v == QLatin1String("off")
        || v == QLatin1String("0")) {
        *on = false;
        return true;
    }
    return false;
}

// Sets the option a setting names. Values are judged here alone, so the
// command line and the file refuse the same things with the same words.
bool apply(const Setting &s, BridgeOptions *o, QString *error)
{
    const QString &v = s.value;
    QString why;
    int number = 0;
    auto fail = [&](const QString &message) {
        *error = QStringLiteral("%1: %2").arg(s.where, message);
        return false;
    };
    auto milliseconds = [&](int minimum, int maximum, int *field) {
        if (!parseNumber(v, minimum, maximum, &number))
            return fail(QStringLiteral("'%1' is not a number of milliseconds from %2 to %3")
                            .arg(v)
                            .arg(minimum)
                            .arg(maximum));
        *field = number;
        return true;
    };
    const QString &n = s.name;
    if (n == QLatin1String("serial")) {
        if (v.isEmpty())
            return fail(QStringLiteral("needs a device path"));
        o->link.kind = devicelink::LinkOptions::Serial;
        o->link.serialPath = v;
    } else if (n == QLatin1String("baud")) {
        if (!parseNumber(v, 50, 4000000, &number))
            return fail(QStringLiteral("'%1' is not a baud rate").arg(v));
        o->link.baud = number;
    } else if (n == QLatin1String("tcp")) {
        if (!parseEndpoint(v, devicelink::defaultTcpPort, 1, &o->link.host, &o->link.port, &why))
            return fail(why);
        o->link.kind = devicelink::LinkOptions::Tcp;
    } else if (n == QLatin1String("timeout")) {
        return milliseconds(10, 3600000, &o->link.timeoutMs);
    } else if (n == QLatin1String("reconnect-min")) {
        return milliseconds(10, 3600000, &o->reconnectMinMs);
    } else if (n == QLatin1String("reconnect-max")) {
        return milliseconds(10, 3600000, &o->reconnectMaxMs);
    } else if (n == QLatin1String("command-gap")) {
        return milliseconds(0, 60000, &o->commandGapMs);
    } else if (n == QLatin1String("listen") || n == QLatin1String("read-only-listen")) {
        if (!parseListen(v, n == QLatin1String("listen") ? &o->listen : &o->readOnlyListen, &why))
            return fail(why);
    } else if (n == QLatin1String("max-clients")) {
        if (!parseNumber(v, 1, 10000, &number))
            return fail(QStringLiteral("'%1' is not a number from 1 to 10000").arg(v));
        o->maxClients = number;
    } else if (n == QLatin1String("poll")) {
        // Seconds, as people think of a poll; tests and quick demos use
        // fractions ("0.2").
        const QStringList parts = v.split(QLatin1Char('.'));
        int whole = 0;
        int fraction = 0;
        const QString decimals = parts.value(1).leftJustified(3, QLatin1Char('0'));
        if (parts.size() > 2 || !parseNumber(parts.at(0), 0, 86400, &whole)
            || (parts.size() == 2
                && (parts.at(1).size() > 3 || !parseNumber(decimals, 0, 999, &fraction)))
            || (whole == 0 && fraction > 0 && fraction < 100))
            return fail(
                QStringLiteral("'%1' is not a number of seconds: 0 (off), or from 0.1 to 86400")
                    .arg(v));
        o->pollMs = whole * 1000 + fraction;
    } else if (n == QLatin1String("verbose")) {
        if (!parseSwitch(v, &o->verbose))
            return fail(QStringLiteral("'%1' is neither yes nor no").arg(v));
    } else if (n == QLatin1String("mqtt")) {
        if (!parseEndpoint(v, 1883, 1, &o->mqtt.host, &o->mqtt.port, &why))
            return fail(why);
    } else if (v.isEmpty()) {
        return fail(QStringLiteral("needs a value"));
    } else if (n == QLatin1String("mqtt-user")) {
        o->mqtt.user = v;
    } else if (n == QLatin1String("mqtt-password-file")) {
        o->mqtt.passwordFile = v;
    } else if (n == QLatin1String("mqtt-tls-ca")) {
        o->mqtt.tlsCaFile = v;
    } else if (n == QLatin1String("mqtt-prefix")) {
        o->mqtt.prefix = v;
    } else if (n == QLatin1String("mqtt-discovery-prefix")) {
        o->mqtt.discoveryPrefix = v;
    } else if (n == QLatin1String("name")) {
        o->mqtt.name = v;
    } else if (n == QLatin1String("labels")) {
        o->mqtt.labelsFile = v;
    }
    return true;
}

bool isLinkSetting(const Setting &s)
{
    return s.name == QLatin1String("serial") || s.name == QLatin1String("tcp")
        || s.name == QLatin1String("baud");
}

// Within one source, --serial and --tcp exclude each other.
bool checkLinkChoice(const QList<Setting> &settings, QString *error)
{
    const Setting *serial = nullptr;
    const Setting *tcp = nullptr;
    for (const Setting &s : settings) {
        if (s.name == QLatin1String("serial"))
            serial = &s;
        else if (s.name == QLatin1String("tcp"))
            tcp = &s;
    }
    if (serial && tcp) {
        *error = QStringLiteral("%1: --tcp and --serial exclude each other").arg(tcp->where);
        return false;
    }
    return true;
}

bool readConfigSettings(const QString &text, const QString &source, QList<Setting> *settings,
                        QString *error)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("%1:%2").arg(source).arg(i + 1);
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            *error = QStringLiteral("%1: expected 'key = value', got '%2'").arg(where, line);
            return false;
        }
        const QString key = line.left(equals).trimmed();
        const OptionInfo *option = findOption(key);
        if (!option || !option->inFile) {
            *error = QStringLiteral("%1: unknown key '%2'").arg(where, key);
            return false;
        }
        *settings << Setting {key, line.mid(equals + 1).trimmed(),
                              QStringLiteral("%1: %2").arg(where, key)};
    }
    return checkLinkChoice(*settings, error);
}

} // namespace

bool applyConfigText(const QString &text, const QString &source, BridgeOptions *options,
                     QString *error)
{
    QList<Setting> settings;
    if (!readConfigSettings(text, source, &settings, error))
        return false;
    for (const Setting &s : settings) {
        if (!apply(s, options, error))
            return false;
    }
    return true;
}

BridgeParseResult parseBridgeArguments(const QStringList &arguments)
{
    BridgeParseResult result;
    auto usage = [&](const QString &error) {
        result.outcome = BridgeParseResult::UsageError;
        result.error = error;
        return result;
    };

    QList<Setting> commandLine;
    QString configFile;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("-h"))
            return result.outcome = BridgeParseResult::Help, result;
        if (!word.startsWith(QLatin1String("--")) || word.size() == 2)
            return usage(QStringLiteral("unexpected argument '%1'").arg(word));
        QString name = word.mid(2);
        QString value;
        const int equals = name.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        }
        const OptionInfo *option = findOption(name);
        if (!option)
            return usage(QStringLiteral("unknown option '--%1'").arg(name));
        if (!option->takesValue) {
            if (equals >= 0)
                return usage(QStringLiteral("--%1 takes no value").arg(name));
            if (name == QLatin1String("help"))
                return result.outcome = BridgeParseResult::Help, result;
            if (name == QLatin1String("version"))
                return result.outcome = BridgeParseResult::Version, result;
            value = QStringLiteral("yes");
        } else if (equals < 0) {
            if (i + 1 >= arguments.size())
                return usage(QStringLiteral("--%1 needs a value").arg(name));
            value = arguments.at(++i);
        }
        if (name == QLatin1String("config"))
            configFile = value;
        else
            commandLine << Setting {name, value, QStringLiteral("--") + name};
    }
    QString error;
    if (!checkLinkChoice(commandLine, &error))
        return usage(error);

    QList<Setting> settings;
    if (!configFile.isEmpty()) {
        QFile file(configFile);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return usage(
                QStringLiteral("--config: cannot read %1: %2").arg(configFile, file.errorString()));
        if (!readConfigSettings(QString::fromUtf8(file.readAll()), configFile, &settings, &error))
            return usage(error);
        // A link named on the command line replaces the file's whole link.
        if (std::any_of(commandLine.cbegin(), commandLine.cend(), [](const Setting &s) {
                return s.name != QLatin1String("baud") && isLinkSetting(s);
            }))
            settings.erase(std::remove_if(settings.begin(), settings.end(), isLinkSetting),
                           settings.end());
    }
    settings += commandLine;

    BridgeOptions &o = result.options;
    o.configFile = configFile;
    bool baudSet = false;
    for (const Setting &s : settings) {
        if (!apply(s, &o, &error))
            return usage(error);
        baudSet = baudSet || s.name == QLatin1String("baud");
    }
    if (o.link.kind == devicelink::LinkOptions::NoLink)
        return usage(QStringLiteral("no device given: --serial DEVICE or --tcp HOST[:PORT]"));
    if (baudSet && o.link.kind != devicelink::LinkOptions::Serial)
        return usage(QStringLiteral("--baud belongs to --serial"));
    if (o.reconnectMinMs > o.reconnectMaxMs)
        return usage(QStringLiteral("--reconnect-min: %1 ms is more than --reconnect-max (%2 ms)")
                         .arg(o.reconnectMinMs)
                         .arg(o.reconnectMaxMs));
    if (o.readOnlyListen.enabled() && o.readOnlyListen.address == o.listen.address
        && o.readOnlyListen.port == o.listen.port && o.listen.port != 0)
        return usage(QStringLiteral("--read-only-listen: the same address as --listen"));
    result.outcome = BridgeParseResult::Run;
    return result;
}

QString bridgeHelpText()
{
    return QStringLiteral(
        R"(Usage: matrix-bridge [OPTIONS] (--serial DEVICE [--baud N] | --tcp HOST[:PORT])

Holds the one link to a video matrix switcher, keeps it up and lets any
number of clients share it over TCP, speaking the device's own protocol:
the console (on its TCP page), matrix-ctl and control systems connect to
the bridge as if it were the device. Every reply of the device goes to
every client, so a route made by one shows in all of them at once.

Device (one of the two):
  --serial DEVICE        a serial line, e.g. /dev/ttyUSB0 (8N1, no flow control)
  --baud N               its baud rate (default 9600)
  --tcp HOST[:PORT]      the device's network port (PORT 8126 when omitted;
                         an IPv6 address in brackets: [fd00::5]:8126)
  --timeout MS           a device that has not answered the bridge's own
                         request within MS is taken for lost (default 2000)
  --reconnect-min MS     first pause before reconnecting (default 500),
  --reconnect-max MS     doubling after each failure up to this (default 10000)
  --poll SECONDS         ask for the routing map when no client command went
                         to the device for this long, so that changes made at
                         the front panel reach the clients (default 10, 0: off)

Clients:
  --listen ADDRESS:PORT  where clients connect (default 127.0.0.1:8126;
                         0.0.0.0:8126 for the whole network; port 0: any
                         free port, printed on stdout)
  --read-only-listen ADDRESS:PORT
                         a second port whose clients receive everything but
                         may only ask ("*?!" and "*!"): for monitors and tally
                         systems that must never switch
  --max-clients N        on both ports together (default 32)
  --command-gap MS       least pause between two commands to the device
                         (default 0; on a serial line never less than the
                         time the previous command takes on the wire)

MQTT (see the manual page):
  --mqtt HOST[:PORT], --mqtt-user NAME, --mqtt-password-file FILE,
  --mqtt-tls-ca FILE, --mqtt-prefix TOPIC, --mqtt-discovery-prefix TOPIC,
  --name NAME, --labels FILE

General:
  --config FILE          read options from FILE: one "key = value" per line,
                         the keys being the long options without dashes
                         ("serial = /dev/ttyUSB0"), "#" starts a comment;
                         the command line wins over the file
  --verbose              log every command and reply too
  --version              the version
  -h, --help             this help

Commands from clients are cut at each "!" and sent to the device one at a
time in order of arrival; bytes without a "!" go as they are after 1 s.
While the device is unreachable, commands are dropped (and logged), never
kept for later. A client that does not read its data (over 1 MB waiting)
is disconnected.

Example: a serial matrix shared on the LAN, the console and scripts on
other machines connecting to port 8126 of this one:
  matrix-bridge --serial /dev/ttyUSB0 --baud 115200 --listen 0.0.0.0:8126
  matrix-ctl --tcp bridge-host route 1 2        # on another machine
  (the console: TCP page, the bridge's address, port 8126, "连接矩阵")

Exit status: 0 after SIGINT or SIGTERM, 1 when it cannot listen, 2 for bad
options.
)");
}
