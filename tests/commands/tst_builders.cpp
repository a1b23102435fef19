// Every command line byte for byte, and every refusal with its reason, straight from the pure
// builders: no window, no link (this test links the protocol library alone).

#include "commands/builders.h"

#include <QtTest>

using namespace commands;

namespace {

// "refused by TEST: sentence" or the command lines joined by '|'.
QByteArray shown(const CommandPlan &p)
{
    if (p.refusal) {
        const char *tests[] = {"strict", "range", "monitor", "brightness", "plan", "route"};
        return QByteArray("refused by ") + tests[int(p.refusal->test)] + ": "
            + describeRefusal(*p.refusal).toUtf8();
    }
    return p.commands.join('|');
}

} // namespace

class TestBuilders : public QObject
{
    Q_OBJECT

private slots:
    void builders_data()
    {
        QTest::addColumn<QByteArray>("actual");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const QByteArray &name, const CommandPlan &p, const char *expected) {
            QTest::newRow(name.constData()) << shown(p) << QByteArray(expected);
        };
        auto line = [](const QByteArray &name, const QByteArray &bytes, const char *expected) {
            QTest::newRow(name.constData()) << bytes << QByteArray(expected);
        };
        line("switch, output first", switchCommand("3", "12"), "*3<12!");
        line("switch, no padding", switchCommand("10", "2"), "*10<2!");
        line("refresh", refreshCommand(), "*?!");
        line("query", queryCommand(), "*!");
        row("out res 1080P", outputResolution("1", 0), "*@65,240!|*>O1 SET1080P60 END!");
        row("out res 720P", outputResolution("04", 1), "*@68,242!|*>O04 SET720P60 END!");
        row("out res 480P", outputResolution("007", 2), "*@71,251!|*>O007 SET480P60 END!");
        row("out res 1024x768", outputResolution("72", 3), "*@136,249!|*>O72 SET1024x768 END!");
        row("out res 1366x768", outputResolution("1", 4), "*@65,245!|*>O1 SET1366x768 END!");
        row("out res 1280x800", outputResolution("04", 5), "*@68,246!|*>O04 SET1280x800 END!");
        row("out res 1280x1024", outputResolution("007", 6), "*@71,244!|*>O007 SET1280x1024 END!");
        row("out res 1440x900", outputResolution("72", 7), "*@136,248!|*>O72 SET1440x900 END!");
        row("out res 1680x1050", outputResolution("1", 8), "*@65,247!|*>O1 SET1680x1050 END!");
        row("out res 1080P50", outputResolution("04", 9), "*@68,241!|*>O04 SET1080P50 END!");
        row("out res 1080P30", outputResolution("007", 10), "*@71,252!|*>O007 SET1080P30 END!");
        row("out res 720P50", outputResolution("72", 11), "*@136,243!|*>O72 SET720P50 END!");
        row("mode HDMI", outputMode("04", 0), "*@68,238!|*>O04 HDMIMOD END!");
        row("mode YCbCr", outputMode("72", 2), "*>O72 OUTYPBPR END!");
        row("mode RGB", outputMode("1", 3), "*>O1 OUTRGB END!");
        row("mode proportional", outputMode("04", 4), "*>O04 OUTFOURCE END!");
        row("in 1080P", inputResolution("1", 0), "*>I1 OUTRES 1 END!|*>I1 SET1080P60 END!");
        row("in 720P", inputResolution("04", 1), "*>I04 SET720P60 END!");
        row("in 480P", inputResolution("007", 2), "*>I007 SET480P60 END!");
        row("in 1024x768", inputResolution("72", 3), "*>I72 SET1024x768 END!");
        row("in 1366x768", inputResolution("1", 4), "*>I1 SET1366x768 END!");
        row("in 1280x800", inputResolution("04", 5), "*>I04 SET1280x800 END!");
        row("in 1280x1024", inputResolution("1", 6), "*>I1 OUTRES 4 END!|*>I1 SET1280x1024 END!");
        row("in 1440x900", inputResolution("1", 7), "*>I1 OUTRES 2 END!|*>I1 SET1440x900 END!");
        row("source VGA", inputSource("04", 0), "*@04,225!|*>I04 SRCVGA END!");
        row("source CVBS", inputSource("72", 2), "*@72,226!|*>I72 SRCCVBS END!");
        row("source YCbCr", inputSource("1", 3), "*@1,227!|*>I1 SRCYPBPR END!");
        row("EDID DVI, monitor 0 unread", edid("1", 1, "0"), "*S101!|*>I1 EDIDDVI1366X768 END!");
        row("EDID HDMI", edid("72", 2, "+5"), "*S7203!|*>I72 EDIDHDMI1080P END!");
        row("EDID 3D 4K2K", edid("1", 3, ""), "*S108!|*>I1 EDID3D4K2K END!");
        row("EDID HDMI 4K2K", edid("04", 4, ""), "*S0405!|*>I04 EDIDHDMI4K2K END!");
        row("EDID HDMI1366", edid("007", 5, ""), "*S00707!|*>I007 EDIDHDMI1366X768 END!");
        row("EDID Q-VMX", edid("72", 6, ""), "*S7206!|*>I72 EDIDDVI1366X768 END!");
        row("EDID Samsung", edid("1", 7, ""), "*S102!|*>I1 EDIDSAMSUNG END!");

        row("strict port 0", outputResolution("0", 0),
            "refused by strict: output port '0' is below 1 (allowed: 1 to 72)");
        row("strict port 73", inputSource("73", 0),
            "refused by strict: input port '73' is above 72 (allowed: 1 to 72)");
        row("strict port empty", outputMode("", 0),
            "refused by strict: output port '' is empty (allowed: 1 to 72)");
        row("range port 73", outputImageButton("73", OutputImageButton::Seamless),
            "refused by range: output port '73' is above 72 (allowed: 1 to 72)");
        row("brightness 9 before port 73", outputBrightness("73", "9"),
            "refused by brightness: brightness '9' is below 10 (allowed: 10 to 200)");
        row("brightness 201 before port 0", inputBrightness("0", "201"),
            "refused by brightness: brightness '201' is above 200 (allowed: 10 to 200)");
        row("brightness port 0", outputBrightness("0", "100"),
            "refused by range: output port '0' is below 1 (allowed: 1 to 72)");
        row("EDID input 0 before monitor 73", edid("0", 0, "73"),
            "refused by strict: input port '0' is below 1 (allowed: 1 to 72)");
        row("EDID monitor 73", edid("4", 0, "73"),
            "refused by monitor: monitor port '73' is above 72 (allowed: 1 to 72)");
        row("plan 31", plan(PlanAction::Save, "31"),
            "refused by plan: plan number '31' is above 30 (allowed: 1 to 30)");
        row("port count: inputs judged first", portCount("0", "73"),
            "refused by range: input count '0' is below 1 (allowed: 1 to 72)");
        row("port count: outputs", portCount("16", "73"),
            "refused by range: output count '73' is above 72 (allowed: 1 to 72)");
        row("out res past the list: nothing", outputResolution("4", 13), "");
        row("no EDID item: nothing, monitor unread", edid("4", -1, "0"), "");
        // 20 is in range: only the digits test refuses these.
        for (const char *t : {"+20", " 20", "20 "}) {
            const QByteArray n = QByteArray(" '") + t + "'";
            auto refusedAs = [&](const char *test, const char *field, const char *allowed) {
                return QByteArray("refused by ") + test + ": " + field + " '" + t
                    + "' is not a plain number (digits 0-9 only) (allowed: " + allowed + ")";
            };
            QTest::newRow("strict" + n)
                << shown(inputResolution(t, 0)) << refusedAs("strict", "input port", "1 to 72");
            QTest::newRow("range" + n)
                << shown(portCount("16", t)) << refusedAs("range", "output count", "1 to 72");
            QTest::newRow("monitor" + n)
                << shown(edid("4", 0, t)) << refusedAs("monitor", "monitor port", "1 to 72");
            QTest::newRow("brightness" + n) << shown(inputBrightness("4", t))
                                            << refusedAs("brightness", "brightness", "10 to 200");
            QTest::newRow("plan" + n) << shown(plan(PlanAction::Recall, t))
                                      << refusedAs("plan", "plan number", "1 to 30");
        }
        const std::optional<Refusal> route
            = checkNumber(NumberTest::RoutePort, Field::OutputPort, "100");
        line("route port 100", describeRefusal(*route).toUtf8(),
             "output port '100' is above 99 (allowed: 1 to 99)");
        line("route port 99",
             checkNumber(NumberTest::RoutePort, Field::InputPort, "99") ? "no" : "ok", "ok");
    }

    void builders()
    {
        QFETCH(QByteArray, actual);
        QFETCH(QByteArray, expected);
        QCOMPARE(actual, expected);
    }
};

QTEST_APPLESS_MAIN(TestBuilders)
#include "tst_builders.moc"
