#include "cli/commandline.h"

#include "cli/ctlcommands.h"
#include "codec/codec.h"
#include "devicelink/hostport.h"

#include <QFileInfo>
#include <QMap>

namespace ctl {

namespace {

// clang-format off
const CommandEntry commandTable[] = {
    {"info", "", "the device letter, model, input and output counts", 0, 0, true, runInfo},
    {"routes", "", "the routing map, one line per output", 0, 0, true, runRoutes},
    {"route", "OUTPUT INPUT [OUTPUT INPUT ...]",
     "switch each INPUT to its OUTPUT, then read the routing map and check\n"
     "that every route holds; exit 1 when the map shows one not taken, or\n"
     "when no map came to confirm them (each output once)", 2, -1, true, runRoute},
    {"save-plan", "N", "store the current routing as plan N (1 to 30)", 1, 1, true, runSavePlan},
    {"recall-plan", "N", "recall plan N and print the routes it set", 1, 1, true, runRecallPlan},
    {"output-resolution", "PORT RES", "set an output card's resolution", 2, 2, true,
     runOutputResolution},
    {"output-mode", "PORT MODE", "set an output card's mode", 2, 2, true, runOutputMode},
    {"output-brightness", "PORT VALUE", "set an output card's brightness (10 to 200)", 2, 2, true,
     runOutputBrightness},
    {"output-seamless", "PORT on|off", "seamless switching on an output", 2, 2, true,
     runOutputSeamless},
    {"output-drive", "PORT on|off|default", "stronger output drive", 2, 2, true, runOutputDrive},
    {"input-resolution", "PORT RES", "set an input card's resolution", 2, 2, true,
     runInputResolution},
    {"input-source", "PORT SOURCE", "set an input card's signal source", 2, 2, true,
     runInputSource},
    {"input-brightness", "PORT VALUE", "set an input card's brightness (10 to 200)", 2, 2, true,
     runInputBrightness},
    {"edid", "INPUT MODE [MONITOR]",
     "set an input's EDID; mode 1 copies the EDID of the monitor on output\n"
     "MONITOR, which only that mode takes", 2, 3, true, runEdid},
    {"wall", "OUTPUT ACROSS DOWN COLUMN ROW",
     "make OUTPUT the screen at COLUMN, ROW of a wall ACROSS screens wide and\n"
     "DOWN high (each 1 to 16)", 5, 5, true, runWall},
    {"port-count", "INPUTS OUTPUTS", "tell the device its numbers of ports", 2, 2, true,
     runPortCount},
    {"send", "TEXT",
     "send TEXT exactly as typed (UTF-8, nothing added), then print the\n"
     "reply, if one comes within the timeout", 1, 1, true, runSend},
    {"list", "[resolutions|modes|sources|edid]",
     "the words RES, MODE, SOURCE and the EDID MODE accept (no device needed)", 0, 1, false,
     runList},
    {"watch", "[--count N] [--poll MS]",
     "print every reply as it arrives, decoded, until Ctrl+C or N replies;\n"
     "the first is the device information watch asks for. With --poll it\n"
     "asks for the routing map every MS ms and prints maps that changed,\n"
     "for a device that tells only the client that switched", 0, 0, true, runWatch},
    {"snapshot", "FILE",
     "write the device and its routing map to a JSON file (- for stdout);\n"
     "a file already there is replaced only once the new one is complete", 1, 1, true,
     runSnapshot},
    {"restore", "FILE",
     "switch the outputs whose input differs from FILE (- for stdin), then\n"
     "check them as route does; a FILE from a device with other counts, or\n"
     "naming a port the device lacks, is refused", 1, 1, true, runRestore},
};
// clang-format on

const char *const helpHead = R"(Usage: matrix-ctl [OPTIONS] COMMAND [ARGUMENTS]

Scripting client of the video matrix switcher: one command per call, sent
over TCP or a serial line with the console's own command lines and number
tests, and the device's replies decoded.

Link (one of the two for every command but list):
  --tcp HOST[:PORT]   the device's network port (PORT 8126 when omitted;
                      an IPv6 address goes in brackets: [::1]:8126)
  --serial DEVICE     a serial line, e.g. /dev/ttyUSB0 (8 data bits, no
                      parity, 1 stop bit, no flow control)
  --baud N            the serial line's baud rate (default 9600)
  --timeout MS        bound of every wait for the device (default 2000)

Output:
  --json              one JSON document per line on stdout (watch: one per
                      reply), its fields as docs/cli-json.md describes them
  --pretty            the same documents, indented for people
  -h, --help          this help
  --version           the version of matrix-ctl

Options may stand anywhere; after "--" every word is an argument.

Commands:
)";

const char *const helpTail = R"(
Arguments:
  PORT, OUTPUT, INPUT, MONITOR, INPUTS, OUTPUTS, N and VALUE are plain
  decimal digits; the console's limits apply: ports 1 to 72, plans 1 to 30,
  brightness 10 to 200, and 1 to 99 for the ports of route. A number the
  console would refuse ("73", "+5", " 4") is refused here before anything
  is sent.
  RES, MODE, SOURCE and the EDID MODE are the console's items, by text
  (case does not matter for Latin letters) or by their number in
  'matrix-ctl list'. Each setting sends exactly the command lines the
  console sends for the same choice, prints them ("sent ...") and waits
  for no reply.

Replies:
  The device ends its replies with no terminator. A routing map is complete
  at its length; device information at the length its count fields give,
  or when the next reply begins or no byte has come for 50 ms (on a serial
  line the time of four characters at the baud rate, if longer). Replies
  of other kinds in front of the one awaited (another client's switch, an
  answer left on a serial line) are passed over; a question whose answer
  does not come is asked again. To read the map, info, routes and snapshot
  also send "*!"; route sends "*?!" behind its switches, so that the
  device's answer shows that every switch has been answered, and asks with
  "*!" when the map it has seen does not show the routes. A route the map
  shows on another input was not taken; one no map came for could not be
  confirmed. watch counts decoded replies; bytes that are no reply are
  printed as such but not counted.

Examples:
  matrix-ctl --tcp 127.0.0.1 info
  matrix-ctl --tcp 127.0.0.1:8126 route 1 2 3 2
  matrix-ctl --serial /dev/ttyUSB0 --baud 115200 routes
  matrix-ctl --tcp 127.0.0.1 output-resolution 4 1080P
  matrix-ctl --tcp 127.0.0.1 edid 4 1 5
  matrix-ctl --tcp 127.0.0.1 --json snapshot rack.json
  matrix-ctl --tcp 127.0.0.1 restore rack.json
  matrix-ctl --tcp 127.0.0.1 watch --poll 500

Exit status:
  0  done
  1  the link or the device failed: connection refused, line not opened,
     closed, no complete reply within the timeout, a route not taken or
     not confirmed; or the output could not be written (stdout, the
     snapshot file; a file already there is kept)
  2  usage error or refused input (a number out of range, an unknown item,
     the same output twice, an option given twice, a snapshot file that is
     unreadable, of an unknown version or from a device with other counts
     or ports); no command that changes the device was sent
)";

bool parseNumber(const QString &text, int minimum, int maximum, int *value)
{
    if (text.isEmpty() || !isAllDigits(text) || text.size() > 9)
        return false;
    *value = text.toInt(nullptr, 10);
    return *value >= minimum && *value <= maximum;
}

bool parseTcp(const QString &text, LinkOptions *link, QString *error)
{
    const std::optional<devicelink::HostPort> address
        = devicelink::parseHostPort(text, devicelink::defaultTcpPort, error);
    if (!address) {
        *error = QStringLiteral("--tcp: ") + *error;
        return false;
    }
    link->kind = LinkOptions::Tcp;
    link->host = address->host;
    link->port = address->port;
    return true;
}

// QSerialPort looks for a bare name ("ttyUSB0") in /dev; a path with a
// directory is taken as it is.
QString serialLocation(const QString &name)
{
    const bool isPath = name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./"))
        || name.startsWith(QLatin1String("../"));
    return isPath ? name : QStringLiteral("/dev/") + name;
}

} // namespace

const CommandEntry *findCommand(const QString &name)
{
    for (const CommandEntry &entry : commandTable) {
        if (name == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

QString helpText()
{
    QString text = QString::fromUtf8(helpHead);
    for (const CommandEntry &entry : commandTable) {
        const QString synopsis = QStringLiteral("%1 %2").arg(entry.name, entry.arguments).trimmed();
        const QStringList summary = QString::fromUtf8(entry.summary).split(QLatin1Char('\n'));
        text += QStringLiteral("  %1\n").arg(synopsis);
        for (const QString &line : summary)
            text += QStringLiteral("      %1\n").arg(line);
    }
    return text + QString::fromUtf8(helpTail);
}

ParseResult parseCommandLine(const QStringList &arguments)
{
    ParseResult result;
    Invocation &call = result.invocation;
    QStringList words;
    QMap<QString, QString> given; // valued option -> its value, to refuse a second one
    auto usage = [&](const QString &error) {
        // The document of a refused line still names the command it was for.
        for (int i = 1; i < arguments.size() && call.command.isEmpty(); ++i) {
            if (findCommand(arguments.at(i)))
                call.command = arguments.at(i);
        }
        result.outcome = ParseResult::UsageError;
        result.error = error;
        return result;
    };

    for (int i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("--")) {
            words += arguments.mid(i + 1);
            break;
        }
        if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            result.outcome = ParseResult::Help;
            return result;
        }
        if (word == QLatin1String("--version")) {
            result.outcome = ParseResult::Version;
            return result;
        }
        if (!word.startsWith(QLatin1String("--"))) {
            words << word;
            continue;
        }
        QString name = word.mid(2);
        QString value;
        const bool inlineValue = name.contains(QLatin1Char('='));
        if (inlineValue) {
            value = name.section(QLatin1Char('='), 1);
            name = name.section(QLatin1Char('='), 0, 0);
        }
        if (name == QLatin1String("json") && !inlineValue) {
            call.json = true;
            continue;
        }
        if (name == QLatin1String("pretty") && !inlineValue) {
            call.json = call.pretty = true;
            continue;
        }
        const QStringList valued = {"tcp", "serial", "baud", "timeout", "count", "poll"};
        if (!valued.contains(name))
            return usage(QStringLiteral("unknown option '%1'").arg(word));
        if (!inlineValue) {
            if (i + 1 >= arguments.size())
                return usage(QStringLiteral("--%1 needs a value").arg(name));
            value = arguments.at(++i);
        }
        // Which of two links, or of two timeouts, was meant cannot be told;
        // the last one winning would hide a slip in a script.
        if (given.contains(name))
            return usage(QStringLiteral("--%1 given twice ('%2' and '%3'): which one is meant is "
                                        "ambiguous")
                             .arg(name, given.value(name), value));
        const bool tcp = name == QLatin1String("tcp");
        if ((tcp || name == QLatin1String("serial"))
            && given.contains(tcp ? QStringLiteral("serial") : QStringLiteral("tcp")))
            return usage(QStringLiteral("--tcp and --serial exclude each other"));
        given.insert(name, value);
        QString error;
        int number = 0;
        if (name == QLatin1String("tcp")) {
            if (!parseTcp(value, &call.link, &error))
                return usage(error);
        } else if (name == QLatin1String("serial")) {
            if (value.isEmpty())
                return usage(QStringLiteral("--serial needs a device path"));
            call.link.serialPath = value;
        } else if (name == QLatin1String("baud")) {
            if (!parseNumber(value, 1, 4000000, &number))
                return usage(QStringLiteral("--baud: '%1' is not a baud rate").arg(value));
            call.link.baud = number;
        } else if (name == QLatin1String("timeout")) {
            if (!parseNumber(value, 1, 3600000, &number))
                return usage(QStringLiteral("--timeout: '%1' is not a number of milliseconds "
                                            "from 1 to 3600000")
                                 .arg(value));
            call.link.timeoutMs = number;
        } else if (name == QLatin1String("count")) {
            if (!parseNumber(value, 1, 1000000000, &number))
                return usage(QStringLiteral("--count: '%1' is not a number from 1 on").arg(value));
            call.count = number;
        } else {
            if (!parseNumber(value, 10, 3600000, &number))
                return usage(
                    QStringLiteral("--poll: '%1' is not a number of milliseconds from 10 on")
                        .arg(value));
            call.pollMs = number;
        }
    }

    if (words.isEmpty())
        return usage(QStringLiteral("no command given"));
    call.command = words.takeFirst();
    call.arguments = words;
    result.entry = findCommand(call.command);
    if (!result.entry)
        return usage(QStringLiteral("unknown command '%1'").arg(call.command));
    const CommandEntry &entry = *result.entry;
    const int n = call.arguments.size();
    if (n < entry.minArguments || (entry.maxArguments >= 0 && n > entry.maxArguments)) {
        const QString synopsis = QStringLiteral("%1 %2").arg(entry.name, entry.arguments).trimmed();
        return usage(
            n < entry.minArguments
                ? QStringLiteral("%1: missing arguments (usage: %2)").arg(entry.name, synopsis)
                : QStringLiteral("%1: unexpected argument '%2' (usage: %3)")
                      .arg(entry.name, call.arguments.at(entry.maxArguments), synopsis));
    }
    if ((given.contains("count") || given.contains("poll"))
        && call.command != QLatin1String("watch"))
        return usage(QStringLiteral("--count and --poll belong to watch"));

    if (given.contains("serial"))
        call.link.kind = LinkOptions::Serial;
    if (given.contains("baud") && call.link.kind != LinkOptions::Serial)
        return usage(QStringLiteral("--baud belongs to --serial"));
    const QString location = serialLocation(call.link.serialPath);
    if (call.link.kind == LinkOptions::Serial && location != call.link.serialPath
        && !QFileInfo::exists(location))
        return usage(QStringLiteral("--serial %1: there is no %2 (a name without a directory is "
                                    "looked for in /dev); for a file here, give ./%1")
                         .arg(call.link.serialPath, location));
    if (entry.needsLink && call.link.kind == LinkOptions::NoLink)
        return usage(QStringLiteral("%1 needs a device: --tcp HOST[:PORT] or --serial DEVICE")
                         .arg(entry.name));
    result.outcome = ParseResult::Run;
    return result;
}

} // namespace ctl
