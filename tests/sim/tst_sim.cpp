// The device simulator: model, TCP serving and the matrix-sim command line.

#include "sim/simserver.h"

#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

using Outcome = MatrixDevice::Outcome;

static QStringList summaries(const QVector<Outcome> &outcomes)
{
    QStringList out;
    for (const Outcome &o : outcomes)
        out << QString(QChar::fromLatin1("CIG"[o.kind])) + (o.understood ? '+' : ' ')
                + simPrintable(o.bytes);
    return out;
}

// The fields the command table checks, as "name=value" words.
static QStringList fields(const MatrixDevice &d)
{
    const MatrixDevice::OutputCard o = d.outputCard(4);
    const MatrixDevice::InputCard i = d.inputCard(4);
    return QString::asprintf("ports=%dx%d route3=%d O4.bright=%d O4.wall=%d%d%d%d "
                             "I4.edid=%d,%d,%s O4=%s,%s,%s I4=%s,%s",
                             d.inputCount(), d.outputCount(), d.routeOf(3), o.brightness,
                             o.wall.across, o.wall.down, o.wall.column, o.wall.row, i.edidPreset,
                             i.edidCopyMonitor, i.edidKeyword.constData(), o.resolution.constData(),
                             o.mode.constData(), o.drive.constData(), i.resolution.constData(),
                             i.source.constData())
        .split(QLatin1Char(' '));
}

// A row of the command table: the last command of the script is judged;
// expect is "refused", "understood", or a field it sets (understood too).
static void row(const char *name, const char *script, const char *expect)
{
    QTest::newRow(name) << QByteArray(script) << QString::fromLatin1(expect);
}

class TstSim : public QObject
{
    Q_OBJECT

private slots:
    void framingDoesNotDependOnSplits();
    void commandForms_data();
    void commandForms();
    void infoReplyReadAsTheConsoleDoes();
    void tcpClientsGetTheirOwnRepliesAndHangUps();
    void commandLine_data();
    void commandLine();
};

void TstSim::framingDoesNotDependOnSplits()
{
    const QByteArray script = "hi\n*?!*3<2!xy*>O1 SET72*>O1 SET720P60 END!\r\n*!*: SAVEPLAN 1";
    const QStringList expected = {"G hi\\x0a",    "C+*?!",        "C+*3<2!",
                                  "G xy",         "I *>O1 SET72", "C+*>O1 SET720P60 END!",
                                  "G \\x0d\\x0a", "C+*!",         "I *: SAVEPLAN 1"};
    for (int at = 0; at <= script.size(); ++at) {
        MatrixDevice device;
        MatrixDevice::Session session;
        QVector<Outcome> all = device.feed(session, script.left(at));
        all += device.feed(session, script.mid(at));
        all += device.flush(session);
        QCOMPARE(summaries(all), expected);
    }
}

void TstSim::commandForms_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("expect");
    row("device information", "*?!", "understood");
    row("switch, output first", "*3<12!", "route3=12");
    row("switch, leading zeros", "*03<012!", "route3=12");
    row("switch, output 17 of 16", "*17<1!", "refused");
    row("output resolution", "*>O4 SET1080P60 END!", "O4=SET1080P60,,");
    row("output code at 64 + port", "*@68,253!", "O4=SET720P30,,");
    row("code 250 is no resolution", "*@68,250!", "refused");
    row("output mode without a code", "*>O4 OUTFOURCE END!", "O4=,OUTFOURCE,");
    row("brightness 9", "*>O4 SETLD 9 END!", "refused");
    row("brightness 200", "*>O4 SETLD 200 END!", "O4.bright=200");
    row("wall, column 2 of 2", "*>O4 OUTSPLIT 2 2 2 1 END!", "O4.wall=2221");
    row("wall, column 3 of 2", "*>O4 OUTSPLIT 2 2 3 1 END!", "refused");
    row("input resolution after OUTRES", "*>I4 OUTRES 3 END!*>I4 SET1680x1050 END!",
        "I4=SET1680x1050,");
    row("50 Hz on an input", "*>I4 SET1080P50 END!", "refused");
    row("input code at the port", "*@4,225!", "I4=,SRCVGA");
    row("EDID preset, then keyword", "*S402!*>I4 EDIDSAMSUNG END!", "I4.edid=2,0,EDIDSAMSUNG");
    row("EDID preset 04 is none", "*S404!", "refused");
    row("EDID copy, then CPEDID", "*E45!*:5 CPEDID 4!", "I4.edid=0,5,");
    row("save, switch, recall", "*3<7!*: SAVEPLAN 5!*3<1!*: CALLPLAN 5!", "route3=7");
    row("recall a plan never saved", "*: CALLPLAN 6!", "refused");
    row("port count, outputs first", "*:8 CHANGEPORTNUMBER 12!", "ports=12x8");
    row("port count 100", "*:100 CHANGEPORTNUMBER 1!", "refused");
    row("no END", "*>O4 SET1080P60!", "refused");
}

void TstSim::commandForms()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, expect);
    MatrixDevice device;
    MatrixDevice::Session session;
    const int last = script.lastIndexOf('*');
    device.feed(session, script.left(last));
    const MatrixDevice::State before = device.state();
    const QVector<Outcome> outcomes = device.feed(session, script.mid(last));
    QCOMPARE(outcomes.size(), 1);
    QVERIFY2(outcomes[0].understood == (expect != "refused"), qPrintable(outcomes[0].description));
    if (expect == "refused")
        QVERIFY(device.state() == before);
    else if (expect != "understood")
        QVERIFY2(fields(device).contains(expect), qPrintable(fields(device).join(' ')));
}

void TstSim::infoReplyReadAsTheConsoleDoes()
{
    for (const QPoint size : {QPoint(1, 1), QPoint(9, 72), QPoint(12, 8), QPoint(99, 99)}) {
        MatrixDevice device(16, 16, 'C'); // x: inputs, y: outputs
        const QByteArray r = device
                                 .handleCommand(QStringLiteral("*:%1 CHANGEPORTNUMBER %2!")
                                                    .arg(size.y())
                                                    .arg(size.x())
                                                    .toLatin1())
                                 .reply;
        const int n = r.size();
        QVERIFY(n > 9 && r.at(1) == ':' && r.at(2) == '\x04' && r.at(7) == 'x' && !r.endsWith('!'));
        QCOMPARE(r.at(0), 'C');
        QCOMPARE(QPoint(r.mid(n - 10, 2).toInt(), r.mid(n - 7, 2).toInt()), size);
        QCOMPARE(r, device.infoReply());
    }
}

void TstSim::tcpClientsGetTheirOwnRepliesAndHangUps()
{
    SimServer::Options options;
    options.port = 0;
    options.closeAfterCommands = 1; // counted per connection
    SimServer server(options);
    QVERIFY(server.listenTcp());
    QTcpSocket a, b;
    for (QTcpSocket *s : {&a, &b})
        s->connectToHost(QStringLiteral("127.0.0.1"), server.tcpPort());
    QVERIFY(a.waitForConnected(5000) && b.waitForConnected(5000));
    a.write("*?!*1<2!");
    b.write("*2<9!");
    QTRY_COMPARE(b.bytesAvailable(), qint64(34));
    QCOMPARE(b.readAll(), QByteArray("A:01090304050607080910111213141516"));
    QTRY_COMPARE(a.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(a.readAll(), server.device().infoReply());
    QCOMPARE(server.device().routeOf(1), 1); // a's second command never reached the device
}

void TstSim::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // in stdout or stderr

    QTest::newRow("help") << QStringList {"--help"} << 0 << "[LINK]";
    QTest::newRow("LINK reaches the pty")
        << QStringList {"--pty", "/dev/null"} << 1 << "/dev/null exists";
    QTest::newRow("unknown option") << QStringList {"--bogus"} << 2 << "bogus";
    QTest::newRow("LINK without --pty") << QStringList {"/tmp/ttyX"} << 2 << "needs --pty";
    QTest::newRow("two LINKs") << QStringList {"--pty", "a", "b"} << 2 << "'b'";
    QTest::newRow("inputs 0") << QStringList {"--inputs", "0"} << 2 << "--inputs";
}

void TstSim::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QProcess sim;
    sim.start(QStringLiteral(MATRIX_SIM_EXECUTABLE), QStringList {"--tcp", "127.0.0.1:0"} + args);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), exitCode);
    const QString text = sim.readAllStandardOutput() + sim.readAllStandardError();
    QVERIFY2(text.contains(output), qPrintable(text));
}

QTEST_GUILESS_MAIN(TstSim)
#include "tst_sim.moc"
