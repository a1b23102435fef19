// The settings tabs through the real window: every button with every field holding its own
// value, the window's sentence for each refused number, and the no-link warnings. The
// vocabulary itself is checked byte for byte in tst_builders.

#include "commands/vocabulary.h"
#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"

#include <QtTest>
#include <QtWidgets>

using namespace commands;

class TestSettingsCommands : public QObject
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
    void init()
    {
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

    // One refused number per test: the window's own sentence, nothing on the wire.
    void refusals_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("box");
        QTest::newRow("strict port") << "outResLineEdit"
                                     << "73"
                                     << "outResPushButton"
                                     << "错误 / 请输入正确的输入端口号!";
        QTest::newRow("range port") << "outImagePort"
                                    << "+5"
                                    << "outSeamlessButton"
                                    << "错误 / 请输入正确的输入输出端口号!";
        QTest::newRow("monitor port") << "outEdidlineEdit"
                                      << "0"
                                      << "inEdidPushButton"
                                      << "错误 / 请输入正确的显示器端口号!";
        QTest::newRow("brightness") << "outBrightness"
                                    << "+50"
                                    << "outBrightnessButton"
                                    << "错误 / 请输入正确的亮度值!";
        QTest::newRow("plan number: silent") << "savePlanText"
                                             << "31"
                                             << "savePlanPushButton"
                                             << "";
    }

    void refusals()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, button);
        QFETCH(QString, box);
        window->findChild<QLineEdit *>(field)->setText(value);
        QCOMPARE(sentBy(qPrintable(button)), QByteArray());
        QCOMPARE(boxes.summary(), box);
    }

    void noLinkWarnsOncePerCommand()
    {
        probe->tcpClient().abort();
        probe->ui().outResPushButton->click();
        const QString noLink = QStringLiteral("无法发送数据 / 无可用连接！请先打开串口或连接网络");
        QCOMPARE(boxes.summary(), noLink + '\n' + noLink);
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

QTEST_MAIN(TestSettingsCommands)
#include "tst_settingscommands.moc"
