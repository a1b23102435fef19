// The settings tabs through the real window: what each button puts on the
// wire of a loopback fake device, the boxes a refused number or a missing
// link brings up, and the few widget reactions of these tabs.
//
// Nothing-was-sent checks use a marker: after the click the test sends a
// marker line itself, waits for it and compares everything received. Any
// byte the click had sent would sit in front of the marker.

#include "commands/vocabulary.h"
#include "support/ctrluiprobe.h"
#include "support/fakedevice.h"
#include "support/messageboxrecorder.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

const QByteArray marker("<marker>");
const QString errorTitle = QStringLiteral("错误");
const QString noLinkTitle = QStringLiteral("无法发送数据");
const QString noLinkText = QStringLiteral("无可用连接！请先打开串口或连接网络");

template<typename Row, int N> QStringList itemsOf(const Row (&table)[N])
{
    QStringList items;
    for (const Row &row : table)
        items << QString::fromUtf8(row.item);
    return items;
}

QStringList itemsOf(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

using Fields = QVariantMap; // object name -> text (line edit) or index (combo box)

} // namespace

class tst_SettingsTabs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void comboItemsAgreeWithVocabulary_data();
    void comboItemsAgreeWithVocabulary();
    void imageButtonsAgreeWithVocabulary();

    void clickSendsBytesInOrder_data();
    void clickSendsBytesInOrder();
    void refusedNumberShowsBoxAndSendsNothing_data();
    void refusedNumberShowsBoxAndSendsNothing();
    void withoutLinkEachCommandWarns_data();
    void withoutLinkEachCommandWarns();

    void edidModeEnablesMonitorFields();
    void clearButtonEmptiesOnlyReplyLog();

private:
    bool connectLink();
    void fill(const Fields &fields);
    void click(const QString &buttonName);
    // Sends the marker and waits for it; the bytes before it are the click's.
    QByteArray bytesBeforeMarker(int expectedSize);

    std::unique_ptr<ctrlUi> window;
    std::unique_ptr<CtrlUiProbe> probe;
    std::unique_ptr<FakeDevice> device;
};

void tst_SettingsTabs::init()
{
    window = std::make_unique<ctrlUi>();
    probe = std::make_unique<CtrlUiProbe>(*window);
    device = std::make_unique<FakeDevice>();
    QVERIFY(device->listen());
}

void tst_SettingsTabs::cleanup()
{
    probe.reset();
    window.reset();
    device.reset();
}

bool tst_SettingsTabs::connectLink()
{
    // Only the socket: sending asks nothing but whether it is open, and the
    // link's own wiring (refresh on connect, reception) stays out of the way.
    probe->tcpClient().connectToHost(QHostAddress::LocalHost, device->port());
    return probe->tcpClient().waitForConnected(5000) && device->waitForClient();
}

void tst_SettingsTabs::fill(const Fields &fields)
{
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        QWidget *widget = window->findChild<QWidget *>(it.key());
        QVERIFY2(widget, qPrintable(it.key()));
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            edit->setText(it.value().toString());
            QCOMPARE(edit->text(), it.value().toString()); // not cut by a length limit
        } else if (auto *box = qobject_cast<QComboBox *>(widget)) {
            box->setCurrentIndex(it.value().toInt());
        } else {
            QFAIL(qPrintable(QStringLiteral("cannot fill ") + it.key()));
        }
    }
}

void tst_SettingsTabs::click(const QString &buttonName)
{
    auto *button = window->findChild<QPushButton *>(buttonName);
    QVERIFY2(button, qPrintable(buttonName));
    QVERIFY(button->isEnabled());
    button->click();
}

QByteArray tst_SettingsTabs::bytesBeforeMarker(int expectedSize)
{
    probe->sendCommand(marker);
    device->waitForReceived(expectedSize + marker.size());
    QByteArray received = device->received();
    if (received.endsWith(marker))
        received.chop(marker.size());
    else
        received += "<no marker>";
    return received;
}

void tst_SettingsTabs::comboItemsAgreeWithVocabulary_data()
{
    QTest::addColumn<QString>("comboName");
    QTest::addColumn<QStringList>("expected");

    QStringList numbers;
    for (int i = 1; i <= commands::wallListLength; ++i)
        numbers << QString::number(i);

    QTest::newRow("output resolutions") << "outResComboBox" << itemsOf(commands::outputResolutions);
    QTest::newRow("output modes") << "outModeComboBox" << itemsOf(commands::outputModes);
    QTest::newRow("input resolutions") << "inResComboBox" << itemsOf(commands::inputResolutions);
    QTest::newRow("signal sources") << "inSrcComboBox" << itemsOf(commands::inputSources);
    QTest::newRow("EDID modes") << "inEdidComboBox" << itemsOf(commands::edidModes);
    QTest::newRow("wall screens across") << "wallHtotal" << numbers;
    QTest::newRow("wall screens down") << "wallVtotal" << numbers;
    QTest::newRow("wall column") << "wallHnum" << numbers;
    QTest::newRow("wall row") << "wallVnum" << numbers;
}

void tst_SettingsTabs::comboItemsAgreeWithVocabulary()
{
    QFETCH(QString, comboName);
    QFETCH(QStringList, expected);

    auto *box = window->findChild<QComboBox *>(comboName);
    QVERIFY(box);
    QCOMPARE(itemsOf(box), expected);
    QCOMPARE(box->currentIndex(), 0);
}

void tst_SettingsTabs::imageButtonsAgreeWithVocabulary()
{
    for (const commands::OutputImageButtonRow &row : commands::outputImageButtons) {
        auto *button = window->findChild<QPushButton *>(QString::fromLatin1(row.objectName));
        QVERIFY2(button, row.objectName);
        QCOMPARE(button->text(), QString::fromUtf8(row.caption));
    }
}

void tst_SettingsTabs::clickSendsBytesInOrder_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("expected");

    // Output card tab.
    QTest::newRow("resolution 720P30 on output 1")
        << Fields {{"outResLineEdit", "1"}, {"outResComboBox", 12}} << "outResPushButton"
        << QByteArray("*@65,253!*>O1 SET720P30 END!");
    QTest::newRow("resolution 1080P on output 04")
        << Fields {{"outResLineEdit", "04"}, {"outResComboBox", 0}} << "outResPushButton"
        << QByteArray("*@68,240!*>O04 SET1080P60 END!");
    QTest::newRow("mode HDMI on output 0072")
        << Fields {{"outModeLineEdit", "0072"}, {"outModeComboBox", 0}} << "outModePushButton"
        << QByteArray("*@136,238!*>O0072 HDMIMOD END!");
    QTest::newRow("mode RGB on output 4, one command")
        << Fields {{"outModeLineEdit", "4"}, {"outModeComboBox", 3}} << "outModePushButton"
        << QByteArray("*>O4 OUTRGB END!");
    QTest::newRow("output brightness 10 on output 72")
        << Fields {{"outImagePort", "72"}, {"outBrightness", "10"}} << "outBrightnessButton"
        << QByteArray("*>O72 SETLD 10 END!");
    QTest::newRow("seamless on output 4") << Fields {{"outImagePort", "4"}} << "outSeamlessButton"
                                          << QByteArray("*@68,234!*>O4 DISMODE 1 END!");
    QTest::newRow("not seamless on output 1")
        << Fields {{"outImagePort", "1"}} << "notSeamlessButton"
        << QByteArray("*@65,235!*>O1 DISMODE 0 END!");
    QTest::newRow("drive on, output 007") << Fields {{"outImagePort", "007"}} << "outResOpenButton"
                                          << QByteArray("*@71,236!*>O007 TERON END!");
    QTest::newRow("drive off, output 4") << Fields {{"outImagePort", "4"}} << "outResCloseButton"
                                         << QByteArray("*@68,237!*>O4 TEROFF END!");
    QTest::newRow("drive default, output 4")
        << Fields {{"outImagePort", "4"}} << "outResNoneButton" << QByteArray("*>O4 TERNONE END!");
    QTest::newRow("wall output 4, column 2 row 1 of 2x2")
        << Fields {{"wallPort", "4"},
                   {"wallHtotal", 1},
                   {"wallVtotal", 1},
                   {"wallHnum", 1},
                   {"wallVnum", 0}}
        << "wallButton" << QByteArray("*>O4 OUTSPLIT 2 2 2 1 END!");
    QTest::newRow("wall 16 across 9 down")
        << Fields {{"wallPort", "1"},
                   {"wallHtotal", 15},
                   {"wallVtotal", 8},
                   {"wallHnum", 15},
                   {"wallVnum", 8}}
        << "wallButton" << QByteArray("*>O1 OUTSPLIT 16 9 16 9 END!");

    // Input card tab.
    QTest::newRow("input resolution 1680x1050 on input 72")
        << Fields {{"inResLineEdit", "72"}, {"inResComboBox", 8}} << "inResPushButton"
        << QByteArray("*>I72 OUTRES 3 END!*>I72 SET1680x1050 END!");
    QTest::newRow("input resolution 720P on input 72")
        << Fields {{"inResLineEdit", "72"}, {"inResComboBox", 1}} << "inResPushButton"
        << QByteArray("*>I72 SET720P60 END!");
    QTest::newRow("source HDMI on input 04")
        << Fields {{"inSrcLineEdit", "04"}, {"inSrcComboBox", 1}} << "inSrcPushButton"
        << QByteArray("*@04,224!*>I04 SRCHDMI END!");
    QTest::newRow("input brightness 200 on input 1")
        << Fields {{"inImagePort", "1"}, {"inBrightness", "200"}} << "inBrightnessButton"
        << QByteArray("*>I1 SETLD 200 END!");

    // EDID.
    QTest::newRow("EDID copy, input 4 monitor 5")
        << Fields {{"inEdidLineEdit", "4"}, {"inEdidComboBox", 0}, {"outEdidlineEdit", "5"}}
        << "inEdidPushButton" << QByteArray("*E45!*:5 CPEDID 4!");
    QTest::newRow("EDID Samsung, input 4, monitor field ignored")
        << Fields {{"inEdidLineEdit", "4"}, {"inEdidComboBox", 7}, {"outEdidlineEdit", "0"}}
        << "inEdidPushButton" << QByteArray("*S402!*>I4 EDIDSAMSUNG END!");
    QTest::newRow("EDID HDMI, input 04")
        << Fields {{"inEdidLineEdit", "04"}, {"inEdidComboBox", 2}} << "inEdidPushButton"
        << QByteArray("*S0403!*>I04 EDIDHDMI1080P END!");

    // Other controls.
    QTest::newRow("save plan 30") << Fields {{"savePlanText", "30"}} << "savePlanPushButton"
                                  << QByteArray("*: SAVEPLAN 30!");
    QTest::newRow("recall plan 05")
        << Fields {{"loadPlanText", "05"}} << "loadPushButton" << QByteArray("*: CALLPLAN 05!");
    QTest::newRow("port count 16 in, 8 out")
        << Fields {{"changeInPortNum", "16"}, {"changeOutPortNum", "8"}} << "changePortNumButton"
        << QByteArray("*:8 CHANGEPORTNUMBER 16!");
    QTest::newRow("free command in UTF-8, nothing added")
        << Fields {{"otherTextSend", QStringLiteral("切换 *1<2!")}} << "otherSendButton"
        << QByteArray("\xE5\x88\x87\xE6\x8D\xA2 *1<2!");
}

void tst_SettingsTabs::clickSendsBytesInOrder()
{
    QFETCH(Fields, fields);
    QFETCH(QString, button);
    QFETCH(QByteArray, expected);

    QVERIFY(connectLink());
    MessageBoxRecorder boxes;
    fill(fields);
    click(button);

    QCOMPARE(bytesBeforeMarker(expected.size()), expected);
    QVERIFY2(boxes.count() == 0, qPrintable(boxes.summary()));
}

void tst_SettingsTabs::refusedNumberShowsBoxAndSendsNothing_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message"); // empty: refused without a box

    const QString port = QStringLiteral("请输入正确的输入端口号!");
    const QString range = QStringLiteral("请输入正确的输入输出端口号!");
    const QString monitor = QStringLiteral("请输入正确的显示器端口号!");
    const QString brightness = QStringLiteral("请输入正确的亮度值!");

    QTest::newRow("resolution output 73")
        << Fields {{"outResLineEdit", "73"}} << "outResPushButton" << port;
    QTest::newRow("mode output +5")
        << Fields {{"outModeLineEdit", "+5"}} << "outModePushButton" << port;
    QTest::newRow("brightness 201 judged before port 73")
        << Fields {{"outImagePort", "73"}, {"outBrightness", "201"}} << "outBrightnessButton"
        << brightness;
    QTest::newRow("output brightness +50")
        << Fields {{"outImagePort", "4"}, {"outBrightness", "+50"}} << "outBrightnessButton"
        << brightness;
    QTest::newRow("seamless on output ' 5'")
        << Fields {{"outImagePort", " 5"}} << "outSeamlessButton" << range;
    QTest::newRow("drive default on output 73")
        << Fields {{"outImagePort", "73"}} << "outResNoneButton" << range;
    QTest::newRow("wall output 0") << Fields {{"wallPort", "0"}} << "wallButton" << range;
    QTest::newRow("input resolution, empty port")
        << Fields {{"inResLineEdit", ""}} << "inResPushButton" << port;
    QTest::newRow("source on input 4x")
        << Fields {{"inSrcLineEdit", "4x"}} << "inSrcPushButton" << port;
    QTest::newRow("input brightness 9") << Fields {{"inImagePort", "1"}, {"inBrightness", "9"}}
                                        << "inBrightnessButton" << brightness;
    QTest::newRow("input brightness, port '5 '")
        << Fields {{"inImagePort", "5 "}, {"inBrightness", "100"}} << "inBrightnessButton" << range;
    QTest::newRow("EDID input 0 judged before monitor 73")
        << Fields {{"inEdidLineEdit", "0"}, {"inEdidComboBox", 0}, {"outEdidlineEdit", "73"}}
        << "inEdidPushButton" << port;
    QTest::newRow("EDID copy, monitor 73")
        << Fields {{"inEdidLineEdit", "4"}, {"inEdidComboBox", 0}, {"outEdidlineEdit", "73"}}
        << "inEdidPushButton" << monitor;
    QTest::newRow("EDID copy, monitor +5")
        << Fields {{"inEdidLineEdit", "4"}, {"inEdidComboBox", 0}, {"outEdidlineEdit", "+5"}}
        << "inEdidPushButton" << monitor;
    QTest::newRow("port count, 73 inputs")
        << Fields {{"changeInPortNum", "73"}, {"changeOutPortNum", "8"}} << "changePortNumButton"
        << range;
    QTest::newRow("port count, outputs '5 '")
        << Fields {{"changeInPortNum", "16"}, {"changeOutPortNum", "5 "}} << "changePortNumButton"
        << range;
    QTest::newRow("save plan 31, silent")
        << Fields {{"savePlanText", "31"}} << "savePlanPushButton" << QString();
    QTest::newRow("recall plan +5, silent")
        << Fields {{"loadPlanText", "+5"}} << "loadPushButton" << QString();
}

void tst_SettingsTabs::refusedNumberShowsBoxAndSendsNothing()
{
    QFETCH(Fields, fields);
    QFETCH(QString, button);
    QFETCH(QString, message);

    QVERIFY(connectLink());
    MessageBoxRecorder boxes;
    fill(fields);
    click(button);

    if (message.isEmpty()) {
        QVERIFY2(boxes.count() == 0, qPrintable(boxes.summary()));
    } else {
        QCOMPARE(boxes.count(), 1);
        const RecordedBox box = boxes.boxes().first();
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.title, errorTitle);
        QCOMPARE(box.text, message);
    }
    QCOMPARE(bytesBeforeMarker(0), QByteArray());
    // The refused text stays as typed.
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (auto *edit = window->findChild<QLineEdit *>(it.key()))
            QCOMPARE(edit->text(), it.value().toString());
    }
}

void tst_SettingsTabs::withoutLinkEachCommandWarns_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("lastPreview");

    const QStringList once {noLinkTitle};
    const QStringList twice {noLinkTitle, noLinkTitle};

    QTest::newRow("resolution, two commands")
        << Fields {{"outResLineEdit", "4"}} << "outResPushButton" << twice
        << "*>O4 SET1080P60 END!";
    QTest::newRow("mode RGB, one command")
        << Fields {{"outModeLineEdit", "4"}, {"outModeComboBox", 3}} << "outModePushButton" << once
        << "*>O4 OUTRGB END!";
    QTest::newRow("drive default, one command")
        << Fields {{"outImagePort", "4"}} << "outResNoneButton" << once << "*>O4 TERNONE END!";
    QTest::newRow("input resolution 1280x1024, two commands")
        << Fields {{"inResLineEdit", "2"}, {"inResComboBox", 6}} << "inResPushButton" << twice
        << "*>I2 SET1280x1024 END!";
    QTest::newRow("source, two commands")
        << Fields {{"inSrcLineEdit", "3"}} << "inSrcPushButton" << twice << "*>I3 SRCVGA END!";
    QTest::newRow("EDID copy, two commands")
        << Fields {{"inEdidLineEdit", "4"}, {"outEdidlineEdit", "5"}} << "inEdidPushButton" << twice
        << "*:5 CPEDID 4!";
    QTest::newRow("recall plan, one command")
        << Fields {{"loadPlanText", "7"}} << "loadPushButton" << once << "*: CALLPLAN 7!";
    QTest::newRow("empty free command still warns")
        << Fields {{"otherTextSend", ""}} << "otherSendButton" << once << "";
    QTest::newRow("refused number: only the error box")
        << Fields {{"outResLineEdit", "73"}} << "outResPushButton" << QStringList {errorTitle}
        << "";
}

void tst_SettingsTabs::withoutLinkEachCommandWarns()
{
    QFETCH(Fields, fields);
    QFETCH(QString, button);
    QFETCH(QStringList, titles);
    QFETCH(QString, lastPreview);

    MessageBoxRecorder boxes;
    fill(fields);
    click(button);

    QStringList seen;
    for (const RecordedBox &box : boxes.boxes()) {
        seen << box.title;
        QCOMPARE(box.icon, QMessageBox::Warning);
        if (box.title == noLinkTitle)
            QCOMPARE(box.text, noLinkText);
    }
    QCOMPARE(seen, titles);
    // The previews show the last command built, sent or not.
    QCOMPARE(probe->ui().tEdtCurrentOutDataASCII->toPlainText(), lastPreview);
}

void tst_SettingsTabs::edidModeEnablesMonitorFields()
{
    Ui_ctrlForm &ui = probe->ui();
    QVERIFY(ui.outEdidText->isEnabled());
    QVERIFY(ui.outEdidlineEdit->isEnabled());
    ui.outEdidlineEdit->setText(QStringLiteral("12"));

    const struct
    {
        int index;
        bool enabled;
    } steps[] = {{1, false}, {7, false}, {0, true}, {6, false}, {0, true}};
    for (const auto &step : steps) {
        ui.inEdidComboBox->setCurrentIndex(step.index);
        QCOMPARE(ui.outEdidText->isEnabled(), step.enabled);
        QCOMPARE(ui.outEdidlineEdit->isEnabled(), step.enabled);
        QCOMPARE(ui.outEdidlineEdit->text(), QStringLiteral("12"));
    }
}

void tst_SettingsTabs::clearButtonEmptiesOnlyReplyLog()
{
    QVERIFY(connectLink());
    Ui_ctrlForm &ui = probe->ui();
    probe->sendCommand(QByteArrayLiteral("*?!"));
    QVERIFY(device->waitForReceived(3));
    device->clearReceived();
    ui.tEdtCurrentDataRES->append(QStringLiteral("A:0102"));

    MessageBoxRecorder boxes;
    click(QStringLiteral("pushButton"));

    QCOMPARE(ui.tEdtCurrentDataRES->toPlainText(), QString());
    QCOMPARE(ui.tEdtCurrentOutDataASCII->toPlainText(), QStringLiteral("*?!"));
    QCOMPARE(ui.tEdtCurrentOutDataHEX->toPlainText(), QStringLiteral("2A 3F 21"));
    QCOMPARE(bytesBeforeMarker(0), QByteArray());
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(tst_SettingsTabs)
#include "tst_settingstabs.moc"
