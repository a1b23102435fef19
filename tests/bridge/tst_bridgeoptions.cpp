// matrix-bridge's options: one spelling on the command line and in the
// configuration file, the command line winning, and every refusal naming
// the option (or the file's line) it is about.

#include "bridge/bridgeoptions.h"

#include <QtTest>

namespace {

// The options that differ from a plain "--tcp 10.0.0.5" run, in one line,
// so that a row states all it expects and a stray change shows.
QString summary(const BridgeOptions &o)
{
    QStringList parts;
    const BridgeOptions plain;
    if (o.link.kind == devicelink::LinkOptions::Serial)
        parts << QStringLiteral("serial %1 %2").arg(o.link.serialPath).arg(o.link.baud);
    else
        parts << QStringLiteral("tcp %1 %2").arg(o.link.host).arg(o.link.port);
    auto listen = [](const ListenAddress &l) {
        return QStringLiteral("%1 %2").arg(l.address.toString()).arg(l.port);
    };
    if (listen(o.listen) != listen(plain.listen))
        parts << "listen " + listen(o.listen);
    if (o.readOnlyListen.enabled())
        parts << "read-only " + listen(o.readOnlyListen);
    if (o.link.timeoutMs != plain.link.timeoutMs)
        parts << QStringLiteral("timeout %1").arg(o.link.timeoutMs);
    if (o.reconnectMinMs != plain.reconnectMinMs || o.reconnectMaxMs != plain.reconnectMaxMs)
        parts << QStringLiteral("reconnect %1-%2").arg(o.reconnectMinMs).arg(o.reconnectMaxMs);
    if (o.maxClients != plain.maxClients)
        parts << QStringLiteral("max %1").arg(o.maxClients);
    if (o.commandGapMs != plain.commandGapMs)
        parts << QStringLiteral("gap %1").arg(o.commandGapMs);
    if (o.pollMs != plain.pollMs)
        parts << QStringLiteral("poll %1").arg(o.pollMs);
    if (o.verbose)
        parts << QStringLiteral("verbose");
    if (o.mqtt.enabled())
        parts << QStringLiteral("mqtt %1 %2 %3 %4 %5 %6 %7 %8")
                     .arg(o.mqtt.host)
                     .arg(o.mqtt.port)
                     .arg(o.mqtt.user, o.mqtt.passwordFile, o.mqtt.tlsCaFile, o.mqtt.prefix,
                          o.mqtt.discoveryPrefix, o.mqtt.name + "/" + o.mqtt.labelsFile);
    return parts.join(", ");
}

} // namespace

class TestBridgeOptions : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // "config" is written to a file and named with --config FILE; "FILE" in
    // the expectation stands for its path. An expectation starting with
    // "error: " is a refusal; the rest must be found in its message.
    void parse_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("expected");
        auto row
            = [](const char *name, const char *arguments, const char *config,
                 const char *expected) { QTest::newRow(name) << arguments << config << expected; };
        row("tcp host alone takes the device's port", "--tcp 10.0.0.5", "", "tcp 10.0.0.5 8126");
        row("ipv6 device in brackets", "--tcp [fd00::5]:9000", "", "tcp fd00::5 9000");
        row("serial with baud", "--serial /dev/ttyUSB0 --baud 115200", "",
            "serial /dev/ttyUSB0 115200");
        row("serial keeps 9600 unless told", "--serial=/dev/ttyS0", "", "serial /dev/ttyS0 9600");
        row("every client option",
            "--tcp 10.0.0.5 --listen 0.0.0.0:9000 --read-only-listen "
            "[::1]:0 --max-clients 3 --command-gap 40 --poll 0.25 --timeout 300 "
            "--reconnect-min 20 --reconnect-max 80 --verbose",
            "",
            "tcp 10.0.0.5 8126, listen 0.0.0.0 9000, read-only ::1 0, timeout 300, "
            "reconnect 20-80, max 3, gap 40, poll 250, verbose");
        row("listen port 0 picks one", "--tcp h --listen 127.0.0.1:0", "",
            "tcp h 8126, listen 127.0.0.1 0");
        row("listen without port keeps 8126", "--tcp h --listen localhost", "", "tcp h 8126");
        row("poll 0 turns it off", "--tcp h --poll 0", "", "tcp h 8126, poll 0");
        row("mqtt options",
            "--tcp h --mqtt broker --mqtt-user u --mqtt-password-file /p "
            "--mqtt-tls-ca /ca --mqtt-prefix rack --mqtt-discovery-prefix ha --name hall "
            "--labels /l",
            "", "tcp h 8126, mqtt broker 1883 u /p /ca rack ha hall//l");
        row("file alone", "",
            "# the hall's matrix\nserial = /dev/ttyUSB1\nbaud=19200\n\n"
            "  poll = 30  \nmax-clients = 4\n",
            "serial /dev/ttyUSB1 19200, max 4, poll 30000");
        row("command line wins over the file", "--poll 5 --verbose",
            "tcp = a\npoll = 30\n"
            "verbose = no\n",
            "tcp a 8126, poll 5000, verbose");
        row("command line's link replaces the file's", "--tcp b:9",
            "serial = /dev/ttyS0\n"
            "baud = 4800\n",
            "tcp b 9");
        row("file's verbose spelled yes", "", "tcp = a\nverbose = yes\n", "tcp a 8126, verbose");

        row("no device", "--poll 3", "", "error: no device given");
        row("unknown option", "--tcp h --colour", "", "error: unknown option '--colour'");
        row("value missing", "--tcp", "", "error: --tcp needs a value");
        row("switch with a value", "--tcp h --verbose=1", "", "error: --verbose takes no value");
        row("tcp and serial together", "--tcp h --serial /dev/ttyS0", "",
            "error: --tcp and --serial exclude each other");
        row("baud without serial", "--tcp h --baud 9600", "", "error: --baud belongs to --serial");
        row("bad baud", "--serial /dev/ttyS0 --baud fast", "", "error: --baud: 'fast'");
        row("device port 0", "--tcp h:0", "", "error: --tcp: '0' is not a port");
        row("ipv6 without brackets", "--tcp fd00::5", "",
            "error: --tcp: put an IPv6 address in brackets");
        row("listen on a name", "--tcp h --listen matrix.local:8126", "",
            "error: --listen: 'matrix.local' is not an IP address");
        row("read-only on the same port",
            "--tcp h --listen 127.0.0.1:9000 --read-only-listen "
            "127.0.0.1:9000",
            "", "error: --read-only-listen: the same address");
        row("poll below a tenth", "--tcp h --poll 0.05", "", "error: --poll: '0.05'");
        row("poll negative", "--tcp h --poll -1", "", "error: --poll: '-1'");
        row("max clients 0", "--tcp h --max-clients 0", "", "error: --max-clients: '0'");
        row("back-off upside down", "--tcp h --reconnect-min 900 --reconnect-max 100", "",
            "error: --reconnect-min: 900 ms is more than --reconnect-max");
        row("file: unknown key", "", "tcp = a\ncolour = red\n",
            "error: FILE:2: unknown key 'colour'");
        row("file: line without =", "", "tcp a\n", "error: FILE:1: expected 'key = value'");
        row("file: bad value names key and line", "", "tcp = a\n\npoll = often\n",
            "error: FILE:3: poll: 'often'");
        row("file: config inside a config", "", "config = /etc/other.conf\n",
            "error: FILE:1: unknown key 'config'");
        row("file: both links", "", "tcp = a\nserial = /dev/ttyS0\n",
            "error: FILE:1: tcp: --tcp and --serial exclude each other");
        row("file missing", "--config /nonexistent/matrix.conf", "",
            "error: --config: cannot read /nonexistent/matrix.conf");
    }
    void parse()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, config);
        QFETCH(QString, expected);
        QStringList words = arguments.split(' ', Qt::SkipEmptyParts);
        const QString path = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".conf"));
        if (!config.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(config.toUtf8()) > 0);
            words << "--config" << path;
        }
        const BridgeParseResult result = parseBridgeArguments(QStringList("matrix-bridge") + words);
        expected.replace("FILE", path);
        if (expected.startsWith("error: ")) {
            QCOMPARE(result.outcome, BridgeParseResult::UsageError);
            QVERIFY2(result.error.contains(expected.mid(7)), qPrintable(result.error));
        } else {
            QVERIFY2(result.outcome == BridgeParseResult::Run, qPrintable(result.error));
            QCOMPARE(summary(result.options), expected);
        }
    }

    // Help and version stop the parse wherever they stand, before a
    // missing device is noticed.
    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("outcome");
        QTest::newRow("--help") << "--help" << int(BridgeParseResult::Help);
        QTest::newRow("-h behind a bad value") << "--poll x -h" << int(BridgeParseResult::Help);
        QTest::newRow("--version") << "--version" << int(BridgeParseResult::Version);
    }
    void helpAndVersion()
    {
        QFETCH(QString, arguments);
        QFETCH(int, outcome);
        const BridgeParseResult result
            = parseBridgeArguments(QStringList("matrix-bridge") + arguments.split(' '));
        QCOMPARE(int(result.outcome), outcome);
    }
};

QTEST_GUILESS_MAIN(TestBridgeOptions)
#include "tst_bridgeoptions.moc"
