// The device model: framing, the commands it understands, and its replies
// as the console reads them.

#include "commands/builders.h"
#include "matrix/replydecoder.h"
#include "sim/matrixdevice.h"
#include "sim/outcomelog.h"

#include <QtTest>

using Outcome = MatrixDevice::Outcome;

// What the command table checks, as "name=value" words: whether the command
// was understood, its reply as the console's decoder reads it (it must tell
// the state as it is now), and the fields commands set.
static QStringList seen(const MatrixDevice &d, const Outcome &c)
{
    const StatusReply r = decodeStatusReply(c.reply, d.outputCount());
    const bool info = r.kind == StatusReply::DeviceInformation && r.countsAccepted
        && r.deviceLetter == "C" && r.inputs == d.inputCount() && r.outputs == d.outputCount();
    const bool map = r.kind == StatusReply::RoutingMap && r.sources == d.routing();
    const MatrixDevice::OutputCard o = d.outputCard(4);
    const MatrixDevice::InputCard i = d.inputCard(4);
    return QString::asprintf("%s reply=%s ports=%dx%d route3=%d routeLast=%d O4.bright=%d "
                             "O4.wall=%d%d%d%d I4.edid=%d,%d,%s O4=%s,%s,%s I4=%s,%s",
                             c.understood ? "understood" : "refused",
                             info ? "info" : (map ? "map" : qPrintable(simPrintable(c.reply))),
                             d.inputCount(), d.outputCount(), d.routeOf(3),
                             d.routeOf(d.outputCount()), o.brightness, o.wall.across, o.wall.down,
                             o.wall.column, o.wall.row, i.edidPreset, i.edidCopyMonitor,
                             i.edidKeyword.constData(), o.resolution.constData(),
                             o.mode.constData(), o.drive.constData(), i.resolution.constData(),
                             i.source.constData())
        .split(QLatin1Char(' '));
}

class TstMatrixDevice : public QObject
{
    Q_OBJECT

private slots:
    void framingDoesNotDependOnSplits()
    {
        // Garbage past its run limit, and a command past its length limit whose tail is garbage.
        const QByteArray script = "hi\n*?!*3<2!xy*>O1 SET72*>O1 SET720P60 END!\r\n"
            + QByteArray(70, 'g') + '*' + QByteArray(300, 'c') + "*!*: SAVEPLAN 1";
        const QString expected = "G hi\\x0a|C+*?!|C+*3<2!|G xy|I *>O1 SET72|C+*>O1 SET720P60 END!|"
                                 "G \\x0d\\x0a|G "
            + QString(64, 'g') + "|G gggggg|I *" + QString(255, 'c') + "|G " + QString(45, 'c')
            + "|C+*!|I *: SAVEPLAN 1";
        for (int at = 0; at <= script.size(); ++at) {
            MatrixDevice device;
            MatrixDevice::Session session;
            QVector<Outcome> all = device.feed(session, script.left(at));
            all += device.feed(session, script.mid(at));
            all += device.flush(session);
            QStringList seen;
            for (const Outcome &o : all)
                seen << QChar::fromLatin1("CIG"[o.kind]) + QString(o.understood ? "+" : " ")
                        + simPrintable(o.bytes);
            QVERIFY2(seen.join('|') == expected,
                     qPrintable(QString::number(at) + ": " + seen.join('|')));
        }
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("script"); // its last command is judged
        QTest::addColumn<QString>("expect"); // "refused", or what it sets; no "reply=": none
        const auto row = [](const char *name, const char *script, QString expect) {
            QTest::newRow(name) << QByteArray(script)
                                << expect + (expect.contains("reply=") ? "" : " reply=");
        };
        row("device information", "*?!", "reply=info");
        row("switch, output first, leading zeros", "*03<012!", "route3=12 reply=map");
        row("switch to the last of 16 outputs", "*16<5!", "routeLast=5 reply=map");
        row("switch to output 99 of 99", "*:99 CHANGEPORTNUMBER 99!*99<5!",
            "routeLast=5 reply=map");
        row("switch, output 17 of 16", "*17<1!", "refused");
        row("switch with two '<'", "*3<4<5!", "refused");
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
        row("EDID preset, then keyword", "*S402!*>I4 EDIDSAMSUNG END!", "I4.edid=2,0,EDIDSAMSUNG");
        row("EDID preset 04 is none", "*S404!", "refused");
        row("EDID copy, then CPEDID", "*E45!*:5 CPEDID 4!", "I4.edid=0,5,");
        row("save, switch, recall", "*3<7!*: SAVEPLAN 5!*3<1!*: CALLPLAN 5!", "route3=7 reply=map");
        row("recall a plan never saved", "*: CALLPLAN 6!", "refused");
        row("port count, outputs first", "*:72 CHANGEPORTNUMBER 9!", "ports=9x72 reply=info");
        row("port count 99x99", "*:99 CHANGEPORTNUMBER 99!", "ports=99x99 reply=info");
        row("port count 100", "*:100 CHANGEPORTNUMBER 1!", "refused");
        row("no END", "*>O4 SET1080P60!", "refused");
    }

    void commands()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, expect);
        MatrixDevice device(16, 16, 'C');
        MatrixDevice::Session session;
        const int last = script.lastIndexOf('*');
        device.feed(session, script.left(last));
        const MatrixDevice::State before = device.state();
        const Outcome o = device.handleCommand(script.mid(last));
        QVERIFY(o.understood || device.state() == before);
        const QStringList words = seen(device, o);
        for (const QString &word : expect.split(' '))
            QVERIFY2(words.contains(word), qPrintable(o.description + ": " + words.join(' ')));
    }

    // Every setting the console can send both as a code and as a card command,
    // built by its own builders from its vocabulary tables: the two must leave
    // the card alike, so a code the model reads wrong fails here even though it
    // is "understood".
    void codeAndCardCommandsAgree_data()
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
        using namespace commands;
        for (const QString port : {"1", "16"}) {
            for (int i = 0; i < int(std::size(outputResolutions)); ++i)
                add("output " + port + " resolution " + outputResolutions[i].item,
                    outputResolution(port, i));
            for (int i = 0; i < int(std::size(outputModes)); ++i)
                add("output " + port + " mode " + outputModes[i].item, outputMode(port, i));
            for (const OutputImageButtonRow &b : outputImageButtons)
                add("output " + port + " " + b.objectName, outputImageButton(port, b.button));
            for (int i = 0; i < int(std::size(inputSources)); ++i)
                add("input " + port + " source " + inputSources[i].item, inputSource(port, i));
        }
    }

    void codeAndCardCommandsAgree()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, card);
        MatrixDevice byCode, byCard;
        const Outcome c = byCode.handleCommand(code), k = byCard.handleCommand(card);
        QVERIFY2(c.understood && k.understood && byCard.state() != MatrixDevice().state()
                     && byCode.state() == byCard.state(),
                 qPrintable(c.description + " / " + k.description));
    }

    // Past its limit the history drops an eighth of it at once. Dropping the
    // oldest record for each new one moved all the others every time, and a
    // flood of 100,000 commands stalled.
    void historyIsTrimmedInBatches()
    {
        MatrixDevice device;
        device.setRecordLimit(80);
        QList<int> sizes;
        for (int i = 1; i <= 101; ++i) {
            device.handleCommand('*' + QByteArray::number(i) + "<1!"); // refused ones are kept too
            sizes << device.records().size();
        }
        QCOMPARE(sizes.mid(88, 4), QList<int>({89, 90, 80, 81}));
        QCOMPARE(device.records().first().bytes, QByteArray("*12<1!"));
        QCOMPARE(device.records().last().bytes, QByteArray("*101<1!"));
    }
};

QTEST_GUILESS_MAIN(TstMatrixDevice)
#include "tst_matrixdevice.moc"
