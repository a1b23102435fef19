#include "sim/simcommandline.h"

#include "devicelink/hostport.h"
#include "devicelink/linkoptions.h"

namespace {

bool intOption(const QCommandLineParser &p, const QString &name, int min, int max, int *out,
               QString *error)
{
    bool ok = false;
    const QString value = p.value(name);
    const int n = value.toInt(&ok, 10);
    if (!ok || n < min || n > max) {
        *error = QStringLiteral("--%1: '%2' is not a number from %3 to %4")
                     .arg(name, value)
                     .arg(min)
                     .arg(max);
        return false;
    }
    *out = n;
    return true;
}

// "HOST:PORT", "[IPV6]:PORT" (port 8126 when omitted); "localhost" means
// 127.0.0.1. No name lookup: the simulator binds only addresses it is given
// literally.
bool parseTcp(const QString &text, QHostAddress *address, quint16 *port, QString *error)
{
    const std::optional<devicelink::HostPort> parsed
        = devicelink::parseHostPort(text, devicelink::defaultTcpPort, error, 0);
    if (!parsed) {
        *error = QStringLiteral("--tcp: ") + *error;
        return false;
    }
    if (parsed->host == QLatin1String("localhost")) {
        *address = QHostAddress(QHostAddress::LocalHost);
    } else if (!address->setAddress(parsed->host)) {
        *error = QStringLiteral("--tcp: '%1' is not an IP address").arg(parsed->host);
        return false;
    }
    *port = parsed->port;
    return true;
}

bool parseFragment(const QString &text, SimServer::Options *o, QString *error)
{
    const QStringList f = text.split(QLatin1Char(':'));
    bool ok1 = false;
    bool ok2 = false;
    const int bytes = f.value(0).toInt(&ok1);
    const int gap = f.value(1).toInt(&ok2);
    if (f.size() != 2 || !ok1 || !ok2 || bytes < 1 || gap < 0) {
        *error = QStringLiteral("--fragment: expected BYTES:GAP_MS with BYTES >= 1, got '%1'")
                     .arg(text);
        return false;
    }
    o->fragmentBytes = bytes;
    o->fragmentGapMs = gap;
    return true;
}

bool parseGarbage(const QString &text, SimServer::Options *o, QString *error)
{
    const QStringList g = text.split(QLatin1Char(':'));
    bool ok = false;
    o->garbageEvery = g.value(0).toInt(&ok);
    if (!ok || o->garbageEvery < 1 || g.size() > 3) {
        *error
            = QStringLiteral("--garbage: expected N[:MODE[:LEN]] with N >= 1, got '%1'").arg(text);
        return false;
    }
    const QString mode = g.value(1, QStringLiteral("before"));
    if (mode == QLatin1String("before")) {
        o->garbageMode = SimServer::GarbageMode::Before;
    } else if (mode == QLatin1String("prefix")) {
        o->garbageMode = SimServer::GarbageMode::Prefix;
    } else if (mode == QLatin1String("instead")) {
        o->garbageMode = SimServer::GarbageMode::Instead;
    } else {
        *error = QStringLiteral("--garbage: mode '%1' is not before, prefix or instead").arg(mode);
        return false;
    }
    if (g.size() == 3) {
        o->garbageBytes = g.value(2).toInt(&ok);
        if (!ok || o->garbageBytes < 1 || o->garbageBytes > 65536) {
            *error
                = QStringLiteral("--garbage: length '%1' is not from 1 to 65536").arg(g.value(2));
            return false;
        }
    }
    return true;
}

} // namespace

void describeOptions(QCommandLineParser *parser)
{
    parser->setApplicationDescription(QStringLiteral(
        "Simulated video matrix switcher for the matrix console.\n"
        "\n"
        "Serves the device over TCP (default 127.0.0.1:8126, loopback only unless\n"
        "another address is given with --tcp) and, with --pty, over a pseudo-terminal\n"
        "whose slave path is printed, for a serial client such as matrix-ctl --serial\n"
        "PATH (the console's port list shows only the system's serial ports); name a\n"
        "LINK to open instead (matrix-sim --pty /tmp/ttyMatrix makes that symlink).\n"
        "Prints 'tcp ADDRESS:PORT' and 'pty PATH' on stdout once serving, and one\n"
        "line per command on stderr: 'understood' or 'not understood', the bytes\n"
        "and what the device made of them (a flood of garbage in one line).\n"
        "\n"
        "Replies: *?! and CHANGEPORTNUMBER answer with the device information,\n"
        "*!, a switch and CALLPLAN with the routing map; nothing else answers. A\n"
        "switch, CALLPLAN or CHANGEPORTNUMBER also reaches every other connection.\n"
        "Replies on one connection are paced: at least --reply-gap ms apart on TCP,\n"
        "--pty-reply-gap ms on the pty (more than the console's 500 ms serial window).\n"
        "Commands sent faster than that keep only the newest 2 replies waiting.\n"
        "\n"
        "Fault modes (per connection, counting complete commands):\n"
        "  --close-after N           close the connection after the N-th command\n"
        "                            (on the pty: close it for good)\n"
        "  --fragment BYTES:GAP_MS   write every transmission in pieces of BYTES,\n"
        "                            GAP_MS apart\n"
        "  --garbage N[:MODE[:LEN]]  on every N-th command send LEN (default 16)\n"
        "                            random bytes; MODE 'before' (own transmission\n"
        "                            ahead of the reply, the default), 'prefix' (in\n"
        "                            front of the reply, one write) or 'instead'\n"
        "                            (in place of the reply)\n"
        "\n"
        "Exit status: 0 after SIGINT/SIGTERM, 1 when it cannot serve, 2 for bad options."));
    parser->addHelpOption();
    parser->addVersionOption();

    const QList<QCommandLineOption> options = {
        {QStringLiteral("tcp"), QStringLiteral("Listen on HOST:PORT (port 0: any free port)."),
         QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:8126")},
        {QStringLiteral("no-tcp"), QStringLiteral("Do not listen on TCP (use with --pty).")},
        {QStringLiteral("pty"),
         QStringLiteral("Serve a pseudo-terminal; its slave path is printed. With a LINK "
                        "argument, also make a symlink LINK to the slave, removed at exit.")},
        {QStringLiteral("inputs"), QStringLiteral("Number of inputs, 1..99."), QStringLiteral("N"),
         QStringLiteral("16")},
        {QStringLiteral("outputs"), QStringLiteral("Number of outputs, 1..99."),
         QStringLiteral("N"), QStringLiteral("16")},
        {QStringLiteral("device"), QStringLiteral("Device letter, A..H."), QStringLiteral("LETTER"),
         QStringLiteral("A")},
        {QStringLiteral("reply-delay"), QStringLiteral("Delay every reply by MS milliseconds."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("reply-gap"),
         QStringLiteral("Minimum pause between replies on a TCP connection."), QStringLiteral("MS"),
         QStringLiteral("20")},
        {QStringLiteral("pty-reply-gap"),
         QStringLiteral("Minimum pause between replies on the pty."), QStringLiteral("MS"),
         QStringLiteral("600")},
        {QStringLiteral("close-after"),
         QStringLiteral("Fault: close a connection after N commands."), QStringLiteral("N")},
        {QStringLiteral("fragment"),
         QStringLiteral("Fault: send replies in pieces of BYTES, GAP_MS apart."),
         QStringLiteral("BYTES:GAP_MS")},
        {QStringLiteral("garbage"),
         QStringLiteral("Fault: random bytes on every N-th command (see above)."),
         QStringLiteral("N[:MODE[:LEN]]")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the random garbage bytes."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("quiet"), QStringLiteral("No log line per command.")},
    };
    parser->addOptions(options);
    parser->addPositionalArgument(
        QStringLiteral("LINK"),
        QStringLiteral("With --pty: symlink to the pty slave, e.g. /tmp/ttyMatrix (optional)."),
        QStringLiteral("[LINK]"));
}

bool parseConfig(const QCommandLineParser &p, SimConfig *c, QString *error)
{
    // --pty [LINK]: the parser has no optional values, so LINK is the one
    // positional argument, and only meaningful together with --pty.
    const QStringList positional = p.positionalArguments();
    c->pty = p.isSet(QStringLiteral("pty"));
    if (positional.size() > 1 || (positional.size() == 1 && !c->pty)) {
        *error = QStringLiteral("unexpected argument '%1'%2")
                     .arg(positional.last(),
                          c->pty ? QString() : QStringLiteral(" (a LINK needs --pty)"));
        return false;
    }
    c->ptyLink = positional.value(0);
    if (!parseTcp(p.value(QStringLiteral("tcp")), &c->server.address, &c->server.port, error))
        return false;
    c->tcp = !p.isSet(QStringLiteral("no-tcp"));
    if (!c->tcp && p.isSet(QStringLiteral("tcp"))) {
        *error = QStringLiteral("--tcp and --no-tcp contradict each other");
        return false;
    }
    if (!c->tcp && !c->pty) {
        *error = QStringLiteral("--no-tcp needs --pty, or there is nothing to serve");
        return false;
    }
    if (!intOption(p, QStringLiteral("inputs"), 1, MatrixDevice::maxPorts, &c->inputs, error)
        || !intOption(p, QStringLiteral("outputs"), 1, MatrixDevice::maxPorts, &c->outputs, error))
        return false;
    const QString device = p.value(QStringLiteral("device"));
    if (device.size() != 1 || device.at(0) < QLatin1Char('A') || device.at(0) > QLatin1Char('H')) {
        *error = QStringLiteral("--device: '%1' is not a letter from A to H").arg(device);
        return false;
    }
    c->letter = device.at(0).toLatin1();
    SimServer::Options &o = c->server;
    if (!intOption(p, QStringLiteral("reply-delay"), 0, 600000, &o.replyDelayMs, error)
        || !intOption(p, QStringLiteral("reply-gap"), 0, 600000, &o.tcpReplyGapMs, error)
        || !intOption(p, QStringLiteral("pty-reply-gap"), 0, 600000, &o.ptyReplyGapMs, error))
        return false;
    if (p.isSet(QStringLiteral("close-after"))
        && !intOption(p, QStringLiteral("close-after"), 1, 1000000000, &o.closeAfterCommands,
                      error))
        return false;
    if (p.isSet(QStringLiteral("fragment"))
        && !parseFragment(p.value(QStringLiteral("fragment")), &o, error))
        return false;
    if (p.isSet(QStringLiteral("garbage"))
        && !parseGarbage(p.value(QStringLiteral("garbage")), &o, error))
        return false;
    bool ok = false;
    o.garbageSeed = p.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok) {
        *error
            = QStringLiteral("--seed: '%1' is not a number").arg(p.value(QStringLiteral("seed")));
        return false;
    }
    c->quiet = p.isSet(QStringLiteral("quiet"));
    return true;
}
