// matrix-bridge's options: one spelling on the command line and in the
// configuration file, the command line winning, and every refusal naming
// the option (or the file's line) it is about.

#include "bridge/bridgeoptions.h"

#include <QtTest>

namespace {

// The options that differ from a plain "--tcp HOST" run, in one line, so
// that a row states all it expects and a stray change shows.
QString summary(const BridgeOptions &o)
{
    const BridgeOptions plain;
    auto listen = [](const ListenAddress &l) {
        return QStringLiteral("%1 %2").arg(l.address.toString()).arg(l.port);
    };
    QStringList parts {o.link.kind == devicelink::LinkOptions::Serial
                           ? QStringLiteral("serial %1 %2").arg(o.link.serialPath).arg(o.link.baud)
                           : QStringLiteral("tcp %1 %2").arg(o.link.host).arg(o.link.port)};
    auto add = [&](bool differs, const QString &part) {
        if (differs)
            parts << part;
    };
    add(listen(o.listen) != listen(plain.listen), "listen " + listen(o.listen));
    add(o.readOnlyListen.enabled(), "read-only " + listen(o.readOnlyListen));
    add(o.link.timeoutMs != plain.link.timeoutMs, QString("timeout %1").arg(o.link.timeoutMs));
    add(o.reconnectMinMs != plain.reconnectMinMs || o.reconnectMaxMs != plain.reconnectMaxMs,
        QString("reconnect %1-%2").arg(o.reconnectMinMs).arg(o.reconnectMaxMs));
    add(o.maxClients != plain.maxClients, QString("max %1").arg(o.maxClients));
    add(o.commandGapMs != plain.commandGapMs, QString("gap %1").arg(o.commandGapMs));
    add(o.pollMs != plain.pollMs, QString("poll %1").arg(o.pollMs));
    add(o.verbose, "verbose");
    add(o.mqtt.enabled(),
        QStringList {"mqtt", o.mqtt.host, QString::number(o.mqtt.port), o.mqtt.user,
                     o.mqtt.passwordFile, o.mqtt.tlsCaFile, o.mqtt.prefix, o.mqtt.discoveryPrefix,
                     o.mqtt.name, o.mqtt.labelsFile}
            .join(' '));
    return parts.join(", ");
}

} // namespace

class TestBridgeOptions : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Host and port are parsed as for every program (tested with the link
    // library); here, what the bridge makes of them.
    // "config" is written to a file and named with --config FILE; "FILE" in
    // the expectation stands for its path. An expectation starting with
    // "error: " is a refusal, the rest must be found in its message; "help"
    // and "version" stop the parse wherever they stand.
    void parse_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("expected");
        auto row
            = [](const char *name, const char *arguments, const char *config,
                 const char *expected) { QTest::newRow(name) << arguments << config << expected; };
        row("tcp host alone takes the device's port", "--tcp 127.0.0.5", "", "tcp 127.0.0.5 8126");
        row("serial keeps 9600 unless told", "--serial=/dev/ttyS0", "", "serial /dev/ttyS0 9600");
        row("every client option",
            "--tcp h --listen 0.0.0.0:9000 --read-only-listen [::1]:0 --max-clients 3 "
            "--command-gap 40 --poll 0.25 --timeout 300 --reconnect-min 20 --reconnect-max 80 "
            "--verbose",
            "",
            "tcp h 8126, listen 0.0.0.0 9000, read-only ::1 0, timeout 300, reconnect 20-80, "
            "max 3, gap 40, poll 250, verbose");
        row("poll 0 turns it off", "--tcp h --poll 0", "", "tcp h 8126, poll 0");
        row("mqtt options",
            "--tcp h --mqtt broker --mqtt-user u --mqtt-password-file /p --mqtt-tls-ca /ca "
            "--mqtt-prefix rack --mqtt-discovery-prefix ha --name hall --labels /l",
            "", "tcp h 8126, mqtt broker 1883 u /p /ca rack ha hall /l");
        row("file alone", "",
            "# the hall's matrix\nserial = /dev/ttyUSB1\nbaud=19200\n\n"
            "  poll = 30  \nmax-clients = 4\nverbose = yes\n",
            "serial /dev/ttyUSB1 19200, max 4, poll 30000, verbose");
        row("command line wins over the file", "--poll 5 --verbose",
            "tcp = a\npoll = 30\nverbose = no\n", "tcp a 8126, poll 5000, verbose");
        row("command line's link replaces the file's", "--tcp b:9",
            "serial = /dev/ttyS0\nbaud = 4800\n", "tcp b 9");
        row("help", "--help", "", "help");
        row("-h behind a bad value", "--poll x -h", "", "help");
        row("version", "--version", "", "version");

        row("no device", "--poll 3", "", "error: no device given");
        row("unknown option", "--tcp h --colour", "", "error: unknown option '--colour'");
        row("value missing", "--tcp", "", "error: --tcp needs a value");
        row("switch with a value", "--tcp h --verbose=1", "", "error: --verbose takes no value");
        row("tcp and serial together", "--tcp h --serial /dev/ttyS0", "",
            "error: --tcp and --serial exclude each other");
        row("baud without serial", "--tcp h --baud 9600", "", "error: --baud belongs to --serial");
        row("listen on a name", "--tcp h --listen matrix.local:8126", "",
            "error: --listen: 'matrix.local' is not an IP address");
        row("read-only on the same port",
            "--tcp h --listen 127.0.0.1:9000 --read-only-listen 127.0.0.1:9000", "",
            "error: --read-only-listen: the same address");
        row("poll below a tenth", "--tcp h --poll 0.05", "", "error: --poll: '0.05'");
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
        const QMap<QString, BridgeParseResult::Outcome> stops {
            {"help", BridgeParseResult::Help}, {"version", BridgeParseResult::Version}};
        if (stops.contains(expected)) {
            QCOMPARE(result.outcome, stops.value(expected));
        } else if (expected.startsWith("error: ")) {
            QCOMPARE(result.outcome, BridgeParseResult::UsageError);
            QVERIFY2(result.error.contains(expected.mid(7)), qPrintable(result.error));
        } else {
            QVERIFY2(result.outcome == BridgeParseResult::Run, qPrintable(result.error));
            QCOMPARE(summary(result.options), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestBridgeOptions)
#include "tst_bridgeoptions.moc"
