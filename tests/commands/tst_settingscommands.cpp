// Settings commands, byte for byte: every vocabulary row and refusal through its builder
// (the clicks carry the rest), then clicks with every field holding its own value.

#include "commands/builders.h"
#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"

#include <QtTest>
#include <QtWidgets>

using namespace commands;

class tst_SettingsCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<ctrlUi> window;
    std::unique_ptr<CtrlUiProbe> probe;
    std::unique_ptr<FakeDevice> device;
    MessageBoxRecorder boxes;

    QByteArray sentBy(const char *button) // a marker sent after: nothing else followed
    {
        window->findChild<QPushButton *>(button)->click();
        probe->sendCommand("<marker>");
        (void)QTest::qWaitFor([this] { return device->received().endsWith("<marker>"); });
        return device->received().replace("<marker>", "");
    }

private slots:
    void builders_data()
    {
        QTest::addColumn<QByteArray>("actual"); // refusal, silent mark, commands joined by '|'
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const QByteArray &name, const CommandPlan &p, const char *expected) {
            QTest::newRow(name.constData()) << p.refusal.toUtf8() + (p.silent ? "(silent)" : "")
                    + p.commands.join('|') << QByteArray(expected);
        };
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

        const char *strict = "请输入正确的输入端口号!", *range = "请输入正确的输入输出端口号!",
                   *monitor = "请输入正确的显示器端口号!", *bright = "请输入正确的亮度值!";
        row("strict port 0", outputResolution("0", 0), strict);
        row("strict port 73", inputSource("73", 0), strict);
        row("range port 73", outputImageButton("73", OutputImageButton::Seamless), range);
        row("brightness 9 before port 73", outputBrightness("73", "9"), bright);
        row("brightness 201 before port 0", inputBrightness("0", "201"), bright);
        row("brightness port 0", outputBrightness("0", "100"), range);
        row("EDID input 0 before monitor 73", edid("0", 0, "73"), strict);
        row("EDID monitor 73", edid("4", 0, "73"), monitor);
        row("plan 31 silent", plan(PlanAction::Save, "31"), "(silent)");
        row("out res past the list: nothing", outputResolution("4", 13), "");
        row("no EDID item: nothing, monitor unread", edid("4", -1, "0"), "");
        for (const char *t : {"+20", " 20", "20 "}) { // 20 is in range: only digits refuse these
            const QByteArray n = QByteArray(" '") + t + "'";
            row("strict" + n, inputResolution(t, 0), strict);
            row("range" + n, portCount("16", t), range);
            row("monitor" + n, edid("4", 0, t), monitor);
            row("brightness" + n, inputBrightness("4", t), bright);
            row("plan" + n, plan(PlanAction::Recall, t), "(silent)");
        }
    }

    void builders()
    {
        QFETCH(QByteArray, actual);
        QFETCH(QByteArray, expected);
        QCOMPARE(actual, expected);
    }

    void init()
    {
        if (QTest::currentTestFunction() == QByteArray("builders"))
            return; // no window needed
        window = std::make_unique<ctrlUi>();
        probe = std::make_unique<CtrlUiProbe>(*window);
        QVERIFY((device = std::make_unique<FakeDevice>())->listen());
        probe->tcpClient().connectToHost(QHostAddress::LocalHost, device->port());
        QVERIFY(probe->tcpClient().waitForConnected(5000) && device->waitForClient());
        boxes.clear();
        const QString fields = QStringLiteral(
            "outResLineEdit=1;outResComboBox=720P30;outModeLineEdit=04;outModeComboBox=DVI;"
            "outImagePort=007;outBrightness=150;wallPort=72;wallHtotal=2;wallVtotal=3;wallHnum=4;"
            "wallVnum=1;inResLineEdit=2;inResComboBox=1680x1050;inSrcLineEdit=3;inSrcComboBox=HDMI;"
            "inImagePort=5;inBrightness=100;inEdidLineEdit=06;outEdidlineEdit=008;savePlanText=9;"
            "loadPlanText=10;changeInPortNum=16;changeOutPortNum=11;otherTextSend=切换 *1<2!");
        for (const QString &f : fields.split(';')) { // text of a line edit, item of a combo box
            QObject *w = window->findChild<QWidget *>(f.section('=', 0, 0));
            w->metaObject()->userProperty().write(w, f.section('=', 1));
        }
    }

    void comboItemsMatchTables()
    {
        auto check = [](QComboBox *box, const auto &table) {
            QCOMPARE(box->count(), int(std::size(table)));
            for (int i = 0; i < box->count(); ++i)
                QCOMPARE(box->itemText(i), QString::fromUtf8(table[i].item));
        };
        check(probe->ui().outResComboBox, outputResolutions);
        check(probe->ui().outModeComboBox, outputModes);
        check(probe->ui().inResComboBox, inputResolutions);
        check(probe->ui().inSrcComboBox, inputSources);
        check(probe->ui().inEdidComboBox, edidModes);
    }

    void clickSends_data()
    {
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("outResPushButton") << QByteArray("*@65,253!*>O1 SET720P30 END!");
        QTest::newRow("outModePushButton") << QByteArray("*@68,239!*>O04 DVIMOD END!");
        QTest::newRow("outBrightnessButton") << QByteArray("*>O007 SETLD 150 END!");
        QTest::newRow("outSeamlessButton") << QByteArray("*@71,234!*>O007 DISMODE 1 END!");
        QTest::newRow("notSeamlessButton") << QByteArray("*@71,235!*>O007 DISMODE 0 END!");
        QTest::newRow("outResOpenButton") << QByteArray("*@71,236!*>O007 TERON END!");
        QTest::newRow("outResCloseButton") << QByteArray("*@71,237!*>O007 TEROFF END!");
        QTest::newRow("outResNoneButton") << QByteArray("*>O007 TERNONE END!");
        QTest::newRow("wallButton") << QByteArray("*>O72 OUTSPLIT 2 3 4 1 END!");
        QTest::newRow("inResPushButton") << QByteArray("*>I2 OUTRES 3 END!*>I2 SET1680x1050 END!");
        QTest::newRow("inSrcPushButton") << QByteArray("*@3,224!*>I3 SRCHDMI END!");
        QTest::newRow("inBrightnessButton") << QByteArray("*>I5 SETLD 100 END!");
        QTest::newRow("inEdidPushButton") << QByteArray("*E06008!*:008 CPEDID 06!");
        QTest::newRow("savePlanPushButton") << QByteArray("*: SAVEPLAN 9!");
        QTest::newRow("loadPushButton") << QByteArray("*: CALLPLAN 10!");
        QTest::newRow("changePortNumButton") << QByteArray("*:11 CHANGEPORTNUMBER 16!");
        QTest::newRow("otherSendButton") << QByteArray("\xE5\x88\x87\xE6\x8D\xA2 *1<2!");
    }

    void clickSends()
    {
        QFETCH(QByteArray, expected);
        QCOMPARE(sentBy(QTest::currentDataTag()), expected);
    }

    void refusalBoxThenNoLinkBoxes()
    {
        probe->ui().outBrightness->setText(QStringLiteral("+50"));
        QCOMPARE(sentBy("outBrightnessButton"), QByteArray());
        probe->tcpClient().abort();
        probe->ui().outResPushButton->click();
        const QString noLink = QStringLiteral("无法发送数据 / 无可用连接！请先打开串口或连接网络");
        QCOMPARE(boxes.summary(), "错误 / 请输入正确的亮度值!\n" + noLink + '\n' + noLink);
    }

    void edidCopyEnablesMonitorFieldsAndClearEmptiesOnlyReplyLog()
    {
        Ui_ctrlForm &ui = probe->ui();
        for (int index : {7, 0, 1}) {
            ui.inEdidComboBox->setCurrentIndex(index);
            QCOMPARE(ui.outEdidText->isEnabled() + ui.outEdidlineEdit->isEnabled(), index ? 0 : 2);
        }
        ui.tEdtCurrentDataRES->setPlainText(QStringLiteral("A:0102"));
        ui.tEdtCurrentOutDataASCII->setPlainText(QStringLiteral("*?!"));
        ui.pushButton->click();
        QCOMPARE(ui.tEdtCurrentDataRES->toPlainText(), QString());
        QCOMPARE(ui.tEdtCurrentOutDataASCII->toPlainText(), QStringLiteral("*?!"));
    }
};

QTEST_MAIN(tst_SettingsCommands)
#include "tst_settingscommands.moc"
