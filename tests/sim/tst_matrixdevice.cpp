// The device model: framing, the command forms it understands, and its
// replies as the console reads them.

#include "commands/builders.h"
#include "matrix/replydecoder.h"
#include "sim/matrixdevice.h"
#include "sim/outcomelog.h"

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
    return QString::asprintf("ports=%dx%d route3=%d routeLast=%d O4.bright=%d O4.wall=%d%d%d%d "
                             "I4.edid=%d,%d,%s O4=%s,%s,%s I4=%s,%s",
                             d.inputCount(), d.outputCount(), d.routeOf(3),
                             d.routeOf(d.outputCount()), o.brightness, o.wall.across, o.wall.down,
                             o.wall.column, o.wall.row, i.edidPreset, i.edidCopyMonitor,
                             i.edidKeyword.constData(), o.resolution.constData(),
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

class TstMatrixDevice : public QObject
{
    Q_OBJECT

private slots:
    void framingDoesNotDependOnSplits();
    void commandForms_data();
    void commandForms();
    void codeAndCardCommandsAgree_data();
    void codeAndCardCommandsAgree();
    void repliesReadAsTheConsoleDoes_data();
    void repliesReadAsTheConsoleDoes();
    void longRunsStayBoundedAndLinear();
};

void TstMatrixDevice::framingDoesNotDependOnSplits()
{
    // Garbage past the run limit, and a command past its length limit whose
    // tail is then garbage.
    const QByteArray longGarbage(70, 'g');
    const QByteArray longCommand = '*' + QByteArray(300, 'c');
    const QByteArray script = "hi\n*?!*3<2!xy*>O1 SET72*>O1 SET720P60 END!\r\n" + longGarbage
        + longCommand + "*!*: SAVEPLAN 1";
    const QStringList expected = {"G hi\\x0a",
                                  "C+*?!",
                                  "C+*3<2!",
                                  "G xy",
                                  "I *>O1 SET72",
                                  "C+*>O1 SET720P60 END!",
                                  "G \\x0d\\x0a",
                                  "G " + QString(64, 'g'),
                                  "G " + QString(6, 'g'),
                                  "I *" + QString(255, 'c'),
                                  "G " + QString(45, 'c'),
                                  "C+*!",
                                  "I *: SAVEPLAN 1"};
    for (int at = 0; at <= script.size(); ++at) {
        MatrixDevice device;
        MatrixDevice::Session session;
        QVector<Outcome> all = device.feed(session, script.left(at));
        all += device.feed(session, script.mid(at));
        all += device.flush(session);
        QCOMPARE(summaries(all), expected);
    }
}

void TstMatrixDevice::commandForms_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("expect");
    row("device information", "*?!", "understood");
    row("switch, output first", "*3<12!", "route3=12");
    row("switch, leading zeros", "*03<012!", "route3=12");
    row("switch to the last of 16 outputs", "*16<5!", "routeLast=5");
    row("switch to output 99 of 99", "*:99 CHANGEPORTNUMBER 99!*99<5!", "routeLast=5");
    row("switch, output 17 of 16", "*17<1!", "refused");
    row("switch with two '<'", "*3<4<5!", "refused");
    row("output resolution", "*>O4 SET1080P60 END!", "O4=SET1080P60,,");
    row("output code at 64 + port", "*@68,253!", "O4=SET720P30,,");
    row("code 250 is no resolution", "*@68,250!", "refused");
    row("code with two commas", "*@68,240,1!", "refused");
    row("card command with a stray space", "*>O4  SET1080P60 END!", "refused");
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

void TstMatrixDevice::commandForms()
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

// Every setting the console can send both as a code and as a card command,
// built by the console's own builders from its vocabulary tables: the two
// must leave the card alike, so a code the model reads wrong fails here
// even though it is "understood".
void TstMatrixDevice::codeAndCardCommandsAgree_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("card");
    const auto add = [](const QString &name, const commands::CommandPlan &plan) {
        QByteArray code, card;
        for (const QByteArray &command : plan.commands)
            (command.startsWith("*@") ? code : card) = command;
        if (!code.isEmpty())
            QTest::newRow(qPrintable(name)) << code << card;
    };
    for (const QString port : {"1", "16"}) {
        for (int i = 0; i < int(std::size(commands::outputResolutions)); ++i)
            add("output " + port + " resolution " + commands::outputResolutions[i].item,
                commands::outputResolution(port, i));
        for (int i = 0; i < int(std::size(commands::outputModes)); ++i)
            add("output " + port + " mode " + commands::outputModes[i].item,
                commands::outputMode(port, i));
        for (const commands::OutputImageButtonRow &b : commands::outputImageButtons)
            add("output " + port + " " + b.objectName, commands::outputImageButton(port, b.button));
        for (int i = 0; i < int(std::size(commands::inputSources)); ++i)
            add("input " + port + " source " + commands::inputSources[i].item,
                commands::inputSource(port, i));
    }
}

void TstMatrixDevice::codeAndCardCommandsAgree()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, card);
    MatrixDevice byCode, byCard;
    const Outcome c = byCode.handleCommand(code);
    const Outcome k = byCard.handleCommand(card);
    QVERIFY2(c.understood, qPrintable(c.description));
    QVERIFY2(k.understood, qPrintable(k.description));
    QVERIFY(byCard.state() != MatrixDevice().state());
    QVERIFY2(byCode.state() == byCard.state(), qPrintable(c.description + " / " + k.description));
}

void TstMatrixDevice::repliesReadAsTheConsoleDoes_data()
{
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("9 inputs, 72 outputs") << 9 << 72;
    QTest::newRow("12 inputs, 8 outputs") << 12 << 8;
    QTest::newRow("99x99") << 99 << 99;
}

void TstMatrixDevice::repliesReadAsTheConsoleDoes()
{
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    MatrixDevice device(16, 16, 'C');
    const Outcome changed = device.handleCommand(
        QStringLiteral("*:%1 CHANGEPORTNUMBER %2!").arg(outputs).arg(inputs).toLatin1());
    QCOMPARE(changed.reply, device.infoReply());
    const StatusReply info = decodeStatusReply(changed.reply, 0);
    QCOMPARE(info.kind, StatusReply::DeviceInformation);
    QCOMPARE(info.deviceLetter, QStringLiteral("C"));
    QCOMPARE(QPoint(info.inputs, info.outputs), QPoint(inputs, outputs));
    QVERIFY(info.countsAccepted);

    const QByteArray map = device
                               .handleCommand('*' + QByteArray::number(outputs) + "<"
                                              + QByteArray::number(inputs) + '!')
                               .reply;
    const StatusReply routes = decodeStatusReply(map, outputs);
    QCOMPARE(routes.kind, StatusReply::RoutingMap);
    QCOMPARE(routes.sources, device.routing());
    QCOMPARE(routes.sources.last(), inputs);
}

// Past its record limit the device drops old records in batches, so a long
// run costs the same per command as a short one (it once moved every record
// on each new one and stalled after 10,000).
void TstMatrixDevice::longRunsStayBoundedAndLinear()
{
    const QList<QByteArray> mix = {
        "*3<4!", "*>O1 SETLD 100 END!", "*@68,240!", "*!", "*>O4 BOGUS END!", "junk\n", "*S402!"};
    QByteArray stream;
    const int count = 100000;
    for (int i = 0; i < count; ++i)
        stream += mix[i % mix.size()];
    MatrixDevice device;
    MatrixDevice::Session session;
    QElapsedTimer clock;
    clock.start();
    const int budgetMs = 20000; // about 0.5 s here; the old history took minutes
    for (int at = 0; at < stream.size(); at += 16384) {
        device.feed(session, stream.mid(at, 16384));
        QVERIFY2(clock.elapsed() < budgetMs,
                 qPrintable(QStringLiteral("only %1 of %2 bytes digested in %3 ms")
                                .arg(at)
                                .arg(stream.size())
                                .arg(clock.elapsed())));
    }
    qInfo("100,000 commands digested in %lld ms", static_cast<long long>(clock.elapsed()));
    const int limit = device.recordLimit();
    QVERIFY2(device.records().size() >= limit && device.records().size() <= limit + limit / 8,
             qPrintable(QString::number(device.records().size())));
    QCOMPARE(device.records().last().bytes, mix[(count - 1) % mix.size()]);
}

QTEST_GUILESS_MAIN(TstMatrixDevice)
#include "tst_matrixdevice.moc"
