// Byte-exact checks of the settings commands and the number tests, without a
// window. Expected lines are written out literally, so a slip in a table
// row, a tail or the address rule shows up as a difference in bytes.

#include "commands/builders.h"

#include <QtTest>

using commands::CommandPlan;
using commands::OutputImageButton;
using commands::PlanAction;

namespace {

const QString strictPortMessage = QStringLiteral("请输入正确的输入端口号!");
const QString rangePortMessage = QStringLiteral("请输入正确的输入输出端口号!");
const QString monitorPortMessage = QStringLiteral("请输入正确的显示器端口号!");
const QString brightnessMessage = QStringLiteral("请输入正确的亮度值!");

QByteArrayList lines(std::initializer_list<const char *> texts)
{
    QByteArrayList result;
    for (const char *text : texts)
        result << QByteArray(text);
    return result;
}

// Calls one builder by name; fields are its arguments in order, an index
// written as decimal text (an image button by its enum value).
CommandPlan build(const QString &setting, const QStringList &f)
{
    auto index = [&f](int i) { return f.at(i).toInt(); };
    if (setting == QLatin1String("outputResolution"))
        return commands::outputResolution(f.at(0), index(1));
    if (setting == QLatin1String("outputMode"))
        return commands::outputMode(f.at(0), index(1));
    if (setting == QLatin1String("outputBrightness"))
        return commands::outputBrightness(f.at(0), f.at(1));
    if (setting == QLatin1String("outputImageButton"))
        return commands::outputImageButton(f.at(0), OutputImageButton(index(1)));
    if (setting == QLatin1String("inputResolution"))
        return commands::inputResolution(f.at(0), index(1));
    if (setting == QLatin1String("inputSource"))
        return commands::inputSource(f.at(0), index(1));
    if (setting == QLatin1String("inputBrightness"))
        return commands::inputBrightness(f.at(0), f.at(1));
    if (setting == QLatin1String("edid"))
        return commands::edid(f.at(0), index(1), f.at(2));
    if (setting == QLatin1String("portCount"))
        return commands::portCount(f.at(0), f.at(1));
    if (setting == QLatin1String("wallSplit"))
        return commands::wallSplit(f.at(0), f.at(1), f.at(2), f.at(3), f.at(4));
    if (setting == QLatin1String("savePlan"))
        return commands::plan(PlanAction::Save, f.at(0));
    if (setting == QLatin1String("recallPlan"))
        return commands::plan(PlanAction::Recall, f.at(0));
    if (setting == QLatin1String("freeCommand"))
        return commands::freeCommand(f.at(0));
    qFatal("unknown setting %s", qPrintable(setting));
    return {};
}

} // namespace

class tst_CommandBuilders : public QObject
{
    Q_OBJECT

private slots:
    void numberTests_data();
    void numberTests();
    void commandLines_data();
    void commandLines();
    void refusals_data();
    void refusals();
    void edidMonitorFields_data();
    void edidMonitorFields();
};

void tst_CommandBuilders::numberTests_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("port"); // strict, range and monitor alike
    QTest::addColumn<bool>("brightness");
    QTest::addColumn<bool>("planNumber");

    QTest::newRow("empty") << "" << false << false << false;
    QTest::newRow("zero") << "0" << false << false << false;
    QTest::newRow("one") << "1" << true << false << true;
    QTest::newRow("leading zero 04") << "04" << true << false << true;
    QTest::newRow("leading zeros 007") << "007" << true << false << true;
    QTest::newRow("nine") << "9" << true << false << true;
    QTest::newRow("ten") << "10" << true << true << true;
    QTest::newRow("thirty") << "30" << true << true << true;
    QTest::newRow("thirty-one") << "31" << true << true << false;
    QTest::newRow("seventy-two") << "72" << true << true << false;
    QTest::newRow("0072 is seventy-two") << "0072" << true << true << false;
    QTest::newRow("seventy-three") << "73" << false << true << false;
    QTest::newRow("080 is eighty") << "080" << false << true << false;
    QTest::newRow("two hundred") << "200" << false << true << false;
    QTest::newRow("two hundred one") << "201" << false << false << false;
    QTest::newRow("overflowing digits") << "99999999999" << false << false << false;
    // 20 is in range for every test: only the digits rule refuses these.
    QTest::newRow("plus sign +20") << "+20" << false << false << false;
    QTest::newRow("leading blank") << " 20" << false << false << false;
    QTest::newRow("trailing blank") << "20 " << false << false << false;
    QTest::newRow("tab before") << "\t20" << false << false << false;
    QTest::newRow("decimal point") << "20.0" << false << false << false;
    QTest::newRow("full-width digits") << QStringLiteral("２０") << false << false << false;
    QTest::newRow("minus one") << "-1" << false << false << false;
    QTest::newRow("letter after 4a") << "4a" << false << false << false;
}

void tst_CommandBuilders::numberTests()
{
    QFETCH(QString, text);
    QFETCH(bool, port);
    QFETCH(bool, brightness);
    QFETCH(bool, planNumber);

    QCOMPARE(commands::strictPortRefusal(text), port ? QString() : strictPortMessage);
    QCOMPARE(commands::rangePortRefusal(text), port ? QString() : rangePortMessage);
    QCOMPARE(commands::monitorPortRefusal(text), port ? QString() : monitorPortMessage);
    QCOMPARE(commands::brightnessRefusal(text), brightness ? QString() : brightnessMessage);
    QCOMPARE(commands::planNumberAccepted(text), planNumber);
}

void tst_CommandBuilders::commandLines_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArrayList>("expected"); // empty: nothing to send, no refusal

    auto row = [](const char *name, const char *setting, const QStringList &fields,
                  const QByteArrayList &expected) {
        QTest::newRow(name) << QString::fromLatin1(setting) << fields << expected;
    };
    const QString seamless = QString::number(int(OutputImageButton::Seamless));
    const QString notSeamless = QString::number(int(OutputImageButton::NotSeamless));
    const QString driveOn = QString::number(int(OutputImageButton::DriveOn));
    const QString driveOff = QString::number(int(OutputImageButton::DriveOff));
    const QString driveDefault = QString::number(int(OutputImageButton::DriveDefault));

    // Outputs: the code command carries value + 64, the card command the text as typed.
    row("out res 1080P, 04", "outputResolution", {"04", "0"},
        lines({"*@68,240!", "*>O04 SET1080P60 END!"}));
    row("out res 720P, 1", "outputResolution", {"1", "1"},
        lines({"*@65,242!", "*>O1 SET720P60 END!"}));
    row("out res 480P, 007", "outputResolution", {"007", "2"},
        lines({"*@71,251!", "*>O007 SET480P60 END!"}));
    row("out res 1024x768, 72", "outputResolution", {"72", "3"},
        lines({"*@136,249!", "*>O72 SET1024x768 END!"}));
    row("out res 1366x768, 4", "outputResolution", {"4", "4"},
        lines({"*@68,245!", "*>O4 SET1366x768 END!"}));
    row("out res 1280x800, 1", "outputResolution", {"1", "5"},
        lines({"*@65,246!", "*>O1 SET1280x800 END!"}));
    row("out res 1280x1024, 04", "outputResolution", {"04", "6"},
        lines({"*@68,244!", "*>O04 SET1280x1024 END!"}));
    row("out res 1440x900, 007", "outputResolution", {"007", "7"},
        lines({"*@71,248!", "*>O007 SET1440x900 END!"}));
    row("out res 1680x1050, 72", "outputResolution", {"72", "8"},
        lines({"*@136,247!", "*>O72 SET1680x1050 END!"}));
    row("out res 1080P50, 4", "outputResolution", {"4", "9"},
        lines({"*@68,241!", "*>O4 SET1080P50 END!"}));
    row("out res 1080P30, 1", "outputResolution", {"1", "10"},
        lines({"*@65,252!", "*>O1 SET1080P30 END!"}));
    row("out res 720P50, 007", "outputResolution", {"007", "11"},
        lines({"*@71,243!", "*>O007 SET720P50 END!"}));
    row("out res 720P30, 1", "outputResolution", {"1", "12"},
        lines({"*@65,253!", "*>O1 SET720P30 END!"}));
    row("out res 1080P, 72", "outputResolution", {"72", "0"},
        lines({"*@136,240!", "*>O72 SET1080P60 END!"}));
    row("out res, no current item", "outputResolution", {"4", "-1"}, {});
    row("out res, past the list", "outputResolution", {"4", "13"}, {});

    // The mode field has no length limit: four characters still name port 72.
    row("mode HDMI, 0072", "outputMode", {"0072", "0"},
        lines({"*@136,238!", "*>O0072 HDMIMOD END!"}));
    row("mode DVI, 04", "outputMode", {"04", "1"}, lines({"*@68,239!", "*>O04 DVIMOD END!"}));
    row("mode YCbCr, card only", "outputMode", {"1", "2"}, lines({"*>O1 OUTYPBPR END!"}));
    row("mode RGB, card only", "outputMode", {"4", "3"}, lines({"*>O4 OUTRGB END!"}));
    row("mode proportional, card only", "outputMode", {"72", "4"}, lines({"*>O72 OUTFOURCE END!"}));
    row("mode, past the list", "outputMode", {"4", "5"}, {});

    row("seamless, 04", "outputImageButton", {"04", seamless},
        lines({"*@68,234!", "*>O04 DISMODE 1 END!"}));
    row("not seamless, 1", "outputImageButton", {"1", notSeamless},
        lines({"*@65,235!", "*>O1 DISMODE 0 END!"}));
    row("drive on, 72", "outputImageButton", {"72", driveOn},
        lines({"*@136,236!", "*>O72 TERON END!"}));
    row("drive off, 007", "outputImageButton", {"007", driveOff},
        lines({"*@71,237!", "*>O007 TEROFF END!"}));
    row("drive default, card only", "outputImageButton", {"4", driveDefault},
        lines({"*>O4 TERNONE END!"}));

    row("out brightness 100, 4", "outputBrightness", {"4", "100"}, lines({"*>O4 SETLD 100 END!"}));
    row("out brightness 10, 72", "outputBrightness", {"72", "10"}, lines({"*>O72 SETLD 10 END!"}));
    row("out brightness 080 as typed", "outputBrightness", {"04", "080"},
        lines({"*>O04 SETLD 080 END!"}));
    row("in brightness 200, 1", "inputBrightness", {"1", "200"}, lines({"*>I1 SETLD 200 END!"}));
    row("in brightness 10, 007", "inputBrightness", {"007", "10"}, lines({"*>I007 SETLD 10 END!"}));

    // Inputs are addressed by their text everywhere, code command included.
    row("in res 1080P, OUTRES 1 first", "inputResolution", {"4", "0"},
        lines({"*>I4 OUTRES 1 END!", "*>I4 SET1080P60 END!"}));
    row("in res 720P", "inputResolution", {"72", "1"}, lines({"*>I72 SET720P60 END!"}));
    row("in res 480P", "inputResolution", {"04", "2"}, lines({"*>I04 SET480P60 END!"}));
    row("in res 1024x768", "inputResolution", {"1", "3"}, lines({"*>I1 SET1024x768 END!"}));
    row("in res 1366x768", "inputResolution", {"007", "4"}, lines({"*>I007 SET1366x768 END!"}));
    row("in res 1280x800", "inputResolution", {"4", "5"}, lines({"*>I4 SET1280x800 END!"}));
    row("in res 1280x1024, OUTRES 4 first", "inputResolution", {"04", "6"},
        lines({"*>I04 OUTRES 4 END!", "*>I04 SET1280x1024 END!"}));
    row("in res 1440x900, OUTRES 2 first", "inputResolution", {"1", "7"},
        lines({"*>I1 OUTRES 2 END!", "*>I1 SET1440x900 END!"}));
    row("in res 1680x1050, OUTRES 3 first", "inputResolution", {"72", "8"},
        lines({"*>I72 OUTRES 3 END!", "*>I72 SET1680x1050 END!"}));
    row("in res, past the list", "inputResolution", {"4", "9"}, {});

    row("source VGA, 4", "inputSource", {"4", "0"}, lines({"*@4,225!", "*>I4 SRCVGA END!"}));
    row("source HDMI, 04", "inputSource", {"04", "1"}, lines({"*@04,224!", "*>I04 SRCHDMI END!"}));
    row("source CVBS, 72", "inputSource", {"72", "2"}, lines({"*@72,226!", "*>I72 SRCCVBS END!"}));
    row("source YCbCr, 007", "inputSource", {"007", "3"},
        lines({"*@007,227!", "*>I007 SRCYPBPR END!"}));
    row("source, past the list", "inputSource", {"4", "4"}, {});

    row("EDID copy 4 from 5", "edid", {"4", "0", "5"}, lines({"*E45!", "*:5 CPEDID 4!"}));
    row("EDID copy 12 from 3", "edid", {"12", "0", "3"}, lines({"*E123!", "*:3 CPEDID 12!"}));
    row("EDID copy 04 from 007", "edid", {"04", "0", "007"},
        lines({"*E04007!", "*:007 CPEDID 04!"}));
    row("EDID DVI", "edid", {"4", "1", "5"}, lines({"*S401!", "*>I4 EDIDDVI1366X768 END!"}));
    row("EDID HDMI, 04", "edid", {"04", "2", "5"}, lines({"*S0403!", "*>I04 EDIDHDMI1080P END!"}));
    row("EDID 3D 4K2K, 72", "edid", {"72", "3", "5"}, lines({"*S7208!", "*>I72 EDID3D4K2K END!"}));
    row("EDID HDMI 4K2K, 1", "edid", {"1", "4", "5"}, lines({"*S105!", "*>I1 EDIDHDMI4K2K END!"}));
    row("EDID HDMI1366, 007", "edid", {"007", "5", "5"},
        lines({"*S00707!", "*>I007 EDIDHDMI1366X768 END!"}));
    row("EDID Q-VMX shares the DVI keyword", "edid", {"4", "6", "5"},
        lines({"*S406!", "*>I4 EDIDDVI1366X768 END!"}));
    row("EDID Samsung", "edid", {"4", "7", "5"}, lines({"*S402!", "*>I4 EDIDSAMSUNG END!"}));
    // A preset does not read the monitor field at all.
    row("EDID preset ignores monitor 0", "edid", {"4", "1", "0"},
        lines({"*S401!", "*>I4 EDIDDVI1366X768 END!"}));
    row("EDID preset ignores monitor +5", "edid", {"4", "7", "+5"},
        lines({"*S402!", "*>I4 EDIDSAMSUNG END!"}));
    row("EDID, past the list", "edid", {"4", "8", "5"}, {});
    row("EDID, no item, monitor not judged", "edid", {"4", "-1", "0"}, {});

    row("save plan 5", "savePlan", {"5"}, lines({"*: SAVEPLAN 5!"}));
    row("save plan 30", "savePlan", {"30"}, lines({"*: SAVEPLAN 30!"}));
    row("recall plan 12", "recallPlan", {"12"}, lines({"*: CALLPLAN 12!"}));
    row("recall plan 05 as typed", "recallPlan", {"05"}, lines({"*: CALLPLAN 05!"}));
    // Inputs first on the tab, outputs first on the wire.
    row("port count 16 in 8 out", "portCount", {"16", "8"}, lines({"*:8 CHANGEPORTNUMBER 16!"}));
    row("port count 72 in 1 out", "portCount", {"72", "1"}, lines({"*:1 CHANGEPORTNUMBER 72!"}));
    row("port count as typed", "portCount", {"04", "007"}, lines({"*:007 CHANGEPORTNUMBER 04!"}));
    row("wall column 2 row 1 of 2x2", "wallSplit", {"4", "2", "2", "2", "1"},
        lines({"*>O4 OUTSPLIT 2 2 2 1 END!"}));
    row("wall all ones", "wallSplit", {"1", "1", "1", "1", "1"},
        lines({"*>O1 OUTSPLIT 1 1 1 1 END!"}));
    row("wall 16 across 9 down", "wallSplit", {"1", "16", "9", "16", "9"},
        lines({"*>O1 OUTSPLIT 16 9 16 9 END!"}));
    row("wall column beyond the width", "wallSplit", {"72", "1", "1", "16", "1"},
        lines({"*>O72 OUTSPLIT 1 1 16 1 END!"}));
    row("wall port 007 as typed", "wallSplit", {"007", "3", "2", "1", "2"},
        lines({"*>O007 OUTSPLIT 3 2 1 2 END!"}));

    // The free command is the operator's whole frame: nothing added or trimmed.
    row("free card command", "freeCommand", {"*>O4 SET1080P60 END!"},
        lines({"*>O4 SET1080P60 END!"}));
    row("free blanks kept", "freeCommand", {" abc "}, lines({" abc "}));
    row("free Chinese as UTF-8", "freeCommand", {QStringLiteral("切换")},
        lines({"\xE5\x88\x87\xE6\x8D\xA2"}));
    row("free Latin-1 letter as UTF-8", "freeCommand", {QStringLiteral("é")}, lines({"\xC3\xA9"}));
    row("free empty is one empty command", "freeCommand", {""}, lines({""}));
}

void tst_CommandBuilders::commandLines()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, fields);
    QFETCH(QByteArrayList, expected);

    const CommandPlan plan = build(setting, fields);
    QVERIFY2(!plan.isRefused(), qPrintable(plan.refusal));
    QCOMPARE(plan.commands, expected);
}

void tst_CommandBuilders::refusals_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("message"); // empty: refused without a word

    const QString M1 = strictPortMessage, M2 = rangePortMessage, M3 = monitorPortMessage,
                  M4 = brightnessMessage;
    const QString driveDefault = QString::number(int(OutputImageButton::DriveDefault));

    // Strict port test: resolution, mode, source and EDID input fields.
    for (const char *port : {"73", "0", "", "4a", "+5", " 5", "5 "}) {
        QTest::addRow("out res port '%s'", port)
            << "outputResolution" << QStringList {port, "0"} << M1;
        QTest::addRow("source port '%s'", port) << "inputSource" << QStringList {port, "0"} << M1;
    }
    QTest::newRow("mode port 73") << "outputMode" << QStringList {"73", "0"} << M1;
    QTest::newRow("mode port +5") << "outputMode" << QStringList {"+5", "2"} << M1;
    QTest::newRow("in res port 73") << "inputResolution" << QStringList {"73", "0"} << M1;
    QTest::newRow("in res port 4x") << "inputResolution" << QStringList {"4x", "1"} << M1;
    QTest::newRow("port judged before the list")
        << "outputResolution" << QStringList {"73", "-1"} << M1;
    QTest::newRow("EDID input 73") << "edid" << QStringList {"73", "1", "5"} << M1;
    QTest::newRow("EDID input judged before monitor")
        << "edid" << QStringList {"0", "0", "0"} << M1;

    // Monitor port test, copy mode only.
    for (const char *monitor : {"0", "73", "", "+5", " 5", "5 "})
        QTest::addRow("EDID copy monitor '%s'", monitor)
            << "edid" << QStringList {"4", "0", monitor} << M3;

    // Range port test: image tab buttons, port count, wall.
    for (const char *port : {"73", "0", "+5", " 5", "5 "}) {
        QTest::addRow("image port '%s'", port)
            << "outputImageButton" << QStringList {port, driveDefault} << M2;
        QTest::addRow("wall port '%s'", port)
            << "wallSplit" << QStringList {port, "1", "1", "1", "1"} << M2;
        QTest::addRow("port count inputs '%s'", port)
            << "portCount" << QStringList {port, "8"} << M2;
        QTest::addRow("port count outputs '%s'", port)
            << "portCount" << QStringList {"16", port} << M2;
    }

    // Brightness test comes before the port test.
    for (const char *setting : {"outputBrightness", "inputBrightness"}) {
        for (const char *level : {"9", "201", "", "+50", " 50", "50 "})
            QTest::addRow("%s level '%s'", setting, level)
                << setting << QStringList {"4", level} << M4;
        QTest::addRow("%s bad level and bad port", setting)
            << setting << QStringList {"73", "9"} << M4;
        QTest::addRow("%s port 73", setting) << setting << QStringList {"73", "100"} << M2;
        QTest::addRow("%s port +5", setting) << setting << QStringList {"+5", "100"} << M2;
    }

    // Plan numbers are refused without a word.
    for (const char *number : {"31", "0", "", "1a", "+5", " 5", "5 "}) {
        QTest::addRow("save plan '%s'", number) << "savePlan" << QStringList {number} << QString();
        QTest::addRow("recall plan '%s'", number)
            << "recallPlan" << QStringList {number} << QString();
    }
}

void tst_CommandBuilders::refusals()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, fields);
    QFETCH(QString, message);

    const CommandPlan plan = build(setting, fields);
    QCOMPARE(plan.refusal, message);
    QCOMPARE(plan.silent, message.isEmpty());
    QVERIFY(plan.commands.isEmpty());
}

void tst_CommandBuilders::edidMonitorFields_data()
{
    QTest::addColumn<QString>("itemText");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("copy monitor") << QStringLiteral("1:复制显示器") << true;
    QTest::newRow("DVI preset") << QStringLiteral("2:DVI模式") << false;
    QTest::newRow("Samsung preset") << QStringLiteral("8:默认-三星显示器") << false;
    QTest::newRow("copy text with a trailing blank") << QStringLiteral("1:复制显示器 ") << false;
    QTest::newRow("copy text without its number") << QStringLiteral("复制显示器") << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_CommandBuilders::edidMonitorFields()
{
    QFETCH(QString, itemText);
    QFETCH(bool, enabled);
    QCOMPARE(commands::edidMonitorFieldsEnabled(itemText), enabled);
}

QTEST_APPLESS_MAIN(tst_CommandBuilders)
#include "tst_commandbuilders.moc"
