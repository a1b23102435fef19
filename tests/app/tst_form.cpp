#include "app/ctrlui.h"

#include <QtTest>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

// The rest of the program reaches every widget by its object name and turns
// combo box indexes into commands, so names, classes, item order and the
// states the window opens in are an interface. These tests build the real
// window and look at what the operator sees when it opens.
class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void widgets_data();
    void widgets();
    void helpBoxes_data();
    void helpBoxes();

    void windowSizeTitleAndSheet();
    void tabSheetIsSharedAndParses();
    void wallIllustrationIsBuiltIn();
    void objectNamesAreUnique();

private:
    std::unique_ptr<ctrlUi> window;
};

namespace {

// Tri-state for properties that some rows leave to the run time (the routing
// controls are disabled by the window right after the form is built).
enum Check { Any = -1, No = 0, Yes = 1 };

const int DefaultMaxLength = 32767;

void addRow(const char *name, const char *cls, const QString &text = QString(),
            const QStringList &items = {}, const QStringList &pages = {}, int current = -1,
            int maxLength = 0, int enabled = Any, int readOnly = Any, const QRect &geometry = {})
{
    QTest::newRow(name) << QByteArray(cls) << text << items << pages << current << maxLength
                        << enabled << readOnly << geometry;
}

void label(const char *name, const QString &text, const QRect &geometry = {})
{
    addRow(name, "QLabel", text, {}, {}, -1, 0, Any, Any, geometry);
}

void button(const char *name, const QString &text, const QRect &geometry = {})
{
    addRow(name, "QPushButton", text, {}, {}, -1, 0, Any, Any, geometry);
}

void group(const char *name, const QString &title, const QRect &geometry = {})
{
    addRow(name, "QGroupBox", title, {}, {}, -1, 0, Any, Any, geometry);
}

void lineEdit(const char *name, int maxLength, int enabled = Yes, int readOnly = No,
              const QRect &geometry = {}, const QString &text = QStringLiteral(""))
{
    addRow(name, "QLineEdit", text, {}, {}, -1, maxLength, enabled, readOnly, geometry);
}

void combo(const char *name, const QStringList &items)
{
    addRow(name, "QComboBox", QString(), items, {}, -1, 0, Yes);
}

void tabs(const char *name, const QStringList &titles, const QStringList &pages, int current)
{
    addRow(name, "QTabWidget", QString(), titles, pages, current);
}

void textEdit(const char *name, int enabled, int readOnly)
{
    addRow(name, "QTextEdit", QString(), {}, {}, -1, 0, enabled, readOnly);
}

void plain(const char *name, const char *cls)
{
    addRow(name, cls);
}

QStringList numbers(int from, int to)
{
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << QString::number(i);
    return list;
}

// One letter per paragraph: '-' empty, 'i' an image, 'r' all red, 'x' text.
QString paragraphShape(const QTextDocument *doc)
{
    QString shape;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        bool image = false;
        bool allRed = true;
        bool any = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            any = true;
            image = image || format.isImageFormat();
            allRed = allRed && format.foreground().color() == QColor(0xff, 0, 0);
        }
        shape += !any ? '-' : image ? 'i' : allRed ? 'r' : 'x';
    }
    return shape;
}

QStringList redParagraphs(const QTextDocument *doc)
{
    QStringList red;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        QString text;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().foreground().color() == QColor(0xff, 0, 0))
                text += it.fragment().text();
        }
        if (!text.isEmpty())
            red << text;
    }
    return red;
}

// Selectors of a style sheet in order, comments dropped.
QStringList selectors(QString sheet)
{
    sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                    QRegularExpression::DotMatchesEverythingOption));
    sheet.remove(QRegularExpression(QStringLiteral("\\{[^}]*\\}")));
    QStringList result;
    for (const QString &part : sheet.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            result << part.trimmed();
    }
    return result;
}

QStringList styleSheetWarnings;

void collectStyleSheetWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("stylesheet"), Qt::CaseInsensitive))
        styleSheetWarnings << message;
}

} // namespace

void TestForm::initTestCase()
{
    window = std::make_unique<ctrlUi>();
}

void TestForm::cleanupTestCase()
{
    window.reset();
}

void TestForm::widgets_data()
{
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("text"); // text or title; null: not checked
    QTest::addColumn<QStringList>("items"); // combo items or tab titles, in order
    QTest::addColumn<QStringList>("pages"); // page object names, in order
    QTest::addColumn<int>("current"); // current page; -1: not checked
    QTest::addColumn<int>("maxLength"); // line edits only; 0: not checked
    QTest::addColumn<int>("enabled");
    QTest::addColumn<int>("readOnly");
    QTest::addColumn<QRect>("geometry"); // absolutely placed widgets only

    const QString ok = QStringLiteral("确定");
    const QString brightness = QStringLiteral("亮度调整(10~200):");

    // Right column: current selection, previews, reply log.
    group("verticalGroupBox", QStringLiteral("操作状态信息"));
    plain("groupBox_2", "QGroupBox");
    plain("frame", "QFrame");
    label("label_50", QStringLiteral("输出:"));
    lineEdit("lEdtCurrentOut", DefaultMaxLength, No, Yes);
    label("label_7", QStringLiteral("输入:"));
    lineEdit("lEdtCurrentIn", DefaultMaxLength, No, Yes);
    group("groupBox_4", QStringLiteral("控制指令预览"));
    label("label_14", QStringLiteral("ASCII码:"));
    textEdit("tEdtCurrentOutDataASCII", Yes, Yes);
    label("label_15", QStringLiteral("对应十六进制值:"));
    textEdit("tEdtCurrentOutDataHEX", Yes, Yes);
    group("groupBox_5", QStringLiteral("指令返回"));
    textEdit("tEdtCurrentDataRES", Yes, Yes);
    button("pushButton", QStringLiteral("清除显示"));

    // Link settings and device information.
    group("groupBox", QStringLiteral("矩阵配置信息"));
    label("label_6", QStringLiteral("通信设置:"));
    combo("cBoxCommunicationSet", {QStringLiteral("串口通信"), QStringLiteral("TCPclient")});
    addRow("sWidgetCommunication", "QStackedWidget", QString(), {}, {"page_5", "page_6"}, 0);
    label("label", QStringLiteral("串口号:"));
    plain("cBoxCOMn", "QComboBox"); // filled by the window at run time
    label("label_2", QStringLiteral("波特率:"));
    plain("cBoxCOMbaudrate", "QComboBox");
    plain("pBtnOpenCOM", "QPushButton"); // relabelled by the window from the port list
    label("label_3", QStringLiteral("IP地址:"));
    lineEdit("lEdtCommunicationIPset", DefaultMaxLength, Yes, No, {},
             QStringLiteral("192.168.0.86"));
    label("label_4", QStringLiteral("端口:默认8126"));
    lineEdit("lEdtCommunicationPort", DefaultMaxLength, Yes, No, {}, QStringLiteral("8126"));
    button("pBtnCommunicationConnect", QStringLiteral("连接矩阵"));
    group("groupBox_3", QStringLiteral("矩阵信息"));
    label("label_11", QStringLiteral("设备编号:"));
    combo("cBoxDeviceNo", {"A", "B", "C", "D", "E", "F", "G", "H"});
    label("label_5", QStringLiteral("矩阵型号:"));
    lineEdit("lEdtDeviceModel", DefaultMaxLength, No, Yes);
    plain("splitter", "QSplitter");
    plain("layoutWidget", "QWidget");
    label("label_8", QStringLiteral("输入端口数量:"));
    lineEdit("lEdtInputCount", DefaultMaxLength, Any, No);
    label("label_10", QStringLiteral("输出端口数量:"));
    lineEdit("lEdtOutputCount", DefaultMaxLength, Any, No);
    button("pBtnRefresh", QStringLiteral("刷新"));

    // Main tabs and the switching page.
    tabs("gridTabWidget",
         {QStringLiteral("切换控制"), QStringLiteral("输出卡配置"), QStringLiteral("输入卡配置"),
          QStringLiteral("其他控制"), QStringLiteral("网络配置")},
         {"gridTabWidgetPage1_2", "tab_5", "tab_6", "tab_7", "tab_8"}, 0);
    group("groupBox_6", QStringLiteral("输入源选择"));
    plain("tWidgetIn", "QTableWidget");
    group("groupBox_7", QStringLiteral("输出选择"));
    plain("tWidgetOut", "QTableWidget");
    button("pBtnConnect", QStringLiteral("连接"));
    button("pBtnQueryReq", QStringLiteral("查询"));

    // Output cards.
    const QStringList resolutions {"1080P",    "720P",      "480P",     "1024x768", "1366x768",
                                   "1280x800", "1280x1024", "1440x900", "1680x1050"};
    tabs("tabWidget_2",
         {QStringLiteral("分辨率设置"), QStringLiteral("输出模式设置"), QStringLiteral("大屏分割"),
          QStringLiteral("图像调整")},
         {"tab_4", "tab_9", "tab_10", "tab_12"}, 0);
    label("label_20", QStringLiteral("输出端口号:"));
    lineEdit("outResLineEdit", 3);
    label("label_21", QStringLiteral("分辨率选择:"));
    combo("outResComboBox", resolutions + QStringList {"1080P50", "1080P30", "720P50", "720P30"});
    button("outResPushButton", ok);
    group("groupBox_11", QStringLiteral("说明"));
    plain("line_4", "QFrame");
    label("label_22", QStringLiteral("输出端口号:"));
    lineEdit("outModeLineEdit", DefaultMaxLength);
    label("label_23", QStringLiteral("输出模式:"));
    combo("outModeComboBox", {"HDMI", "DVI", "YCbCr", "RGB", QStringLiteral("等比例模式")});
    button("outModePushButton", ok);
    group("groupBox_12", QStringLiteral("说明"));
    plain("line_5", "QFrame");
    plain("line_6", "QFrame");
    group("groupBox_14", QStringLiteral("参数配置"));
    label("label_24", QStringLiteral("端口号:"));
    lineEdit("wallPort", 3);
    label("label_25", QStringLiteral("横向屏总数:"));
    combo("wallHtotal", numbers(1, 16));
    label("label_26", QStringLiteral("纵向屏总数:"));
    combo("wallVtotal", numbers(1, 16));
    label("label_27", QStringLiteral("横向屏编号:"));
    combo("wallHnum", numbers(1, 16));
    label("label_28", QStringLiteral("纵向屏编号:"));
    combo("wallVnum", numbers(1, 16));
    button("wallButton", ok);
    group("groupBox_13", QStringLiteral("说明"));
    label("label_31", QStringLiteral("输出端口号:"), QRect(20, 10, 71, 41));
    lineEdit("outImagePort", 3, Yes, No, QRect(100, 20, 41, 21));
    label("label_30", brightness, QRect(20, 50, 111, 41));
    lineEdit("outBrightness", 3, Yes, No, QRect(140, 60, 41, 21));
    button("outBrightnessButton", ok, QRect(190, 60, 35, 23));
    group("groupBox_15", QStringLiteral("增强输出驱动能力"), QRect(10, 100, 281, 141));
    button("outResOpenButton", QStringLiteral("开启"), QRect(20, 20, 51, 31));
    button("outResCloseButton", QStringLiteral("关闭"), QRect(80, 20, 51, 31));
    button("outResNoneButton", QStringLiteral("默认值"), QRect(140, 20, 71, 31));
    button("outSeamlessButton", QStringLiteral("无缝输出模式"), QRect(20, 320, 91, 41));
    button("notSeamlessButton", QStringLiteral("非无缝"), QRect(120, 320, 81, 41));

    // Input cards.
    tabs("tabWidget",
         {QStringLiteral("分辨率设置"), QStringLiteral("信号源选择"), QStringLiteral("EDID配置"),
          QStringLiteral("图像调整")},
         {"tab", "tab_2", "tab_3", "tab_11"}, 2);
    label("label_9", QStringLiteral("输入端口号:"));
    lineEdit("inResLineEdit", 3);
    label("label_12", QStringLiteral("分辨率选择:"));
    combo("inResComboBox", resolutions);
    button("inResPushButton", ok);
    group("groupBox_8", QStringLiteral("说明"));
    plain("line", "QFrame");
    label("label_13", QStringLiteral("输入端口号:"));
    lineEdit("inSrcLineEdit", DefaultMaxLength);
    label("label_16", QStringLiteral("选择信号源:"));
    combo("inSrcComboBox", {"VGA", "HDMI", "CVBS", "YCbCr"});
    button("inSrcPushButton", ok);
    group("groupBox_9", QStringLiteral("说明"));
    plain("line_2", "QFrame");
    label("label_17", QStringLiteral("端口号:"));
    lineEdit("inEdidLineEdit", 3);
    label("label_18", QStringLiteral("EDID模式:"));
    combo("inEdidComboBox",
          {QStringLiteral("1:复制显示器"), QStringLiteral("2:DVI模式"),
           QStringLiteral("3:HDMI模式"), QStringLiteral("4:快门式3D+4K2K"),
           QStringLiteral("5:HDMI-4K2K"), QStringLiteral("6:HDMI1366"), QStringLiteral("7:Q-VMX"),
           QStringLiteral("8:默认-三星显示器")});
    addRow("outEdidText", "QLabel", QStringLiteral("输出显示器端口:"), {}, {}, -1, 0, Yes);
    lineEdit("outEdidlineEdit", 3);
    button("inEdidPushButton", ok);
    group("groupBox_10", QStringLiteral("说明"));
    plain("line_3", "QFrame");
    label("label_29", QStringLiteral("端口号:"), QRect(30, 10, 51, 41));
    lineEdit("inImagePort", 3, Yes, No, QRect(80, 20, 41, 21));
    label("label_19", brightness, QRect(30, 50, 111, 41));
    lineEdit("inBrightness", 3, Yes, No, QRect(150, 60, 41, 21));
    button("inBrightnessButton", ok, QRect(200, 60, 35, 23));

    // Plans, port count and free command.
    label("label_47", QStringLiteral("预案保存:"), QRect(20, 20, 61, 41));
    lineEdit("savePlanText", DefaultMaxLength, Yes, No, QRect(90, 30, 71, 21));
    button("savePlanPushButton", ok, QRect(180, 30, 75, 31));
    label("label_48", QStringLiteral("预案调取:"), QRect(20, 60, 61, 41));
    lineEdit("loadPlanText", DefaultMaxLength, Yes, No, QRect(90, 70, 71, 21));
    button("loadPushButton", ok, QRect(180, 70, 75, 31));
    label("label_49", QStringLiteral("更改矩阵端口数量:"), QRect(20, 100, 141, 41));
    label("label_51", QStringLiteral("输入数量"), QRect(20, 130, 61, 41));
    lineEdit("changeInPortNum", DefaultMaxLength, Yes, No, QRect(90, 140, 41, 21));
    label("label_52", QStringLiteral("输出数量"), QRect(20, 160, 61, 41));
    lineEdit("changeOutPortNum", DefaultMaxLength, Yes, No, QRect(90, 170, 41, 21));
    button("changePortNumButton", ok, QRect(150, 140, 101, 51));
    label("label_53", QStringLiteral("自定义令指令:"), QRect(20, 210, 81, 31));
    lineEdit("otherTextSend", DefaultMaxLength, Yes, No, QRect(20, 240, 181, 21));
    button("otherSendButton", ok, QRect(210, 230, 41, 31));
}

void TestForm::widgets()
{
    QFETCH(QByteArray, className);
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QFETCH(QStringList, pages);
    QFETCH(int, current);
    QFETCH(int, maxLength);
    QFETCH(int, enabled);
    QFETCH(int, readOnly);
    QFETCH(QRect, geometry);

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QWidget *widget = window->findChild<QWidget *>(name);
    QVERIFY2(widget, "no widget of this name");
    QCOMPARE(QByteArray(widget->metaObject()->className()), className);

    if (!text.isNull()) {
        if (auto *label = qobject_cast<QLabel *>(widget))
            QCOMPARE(label->text(), text);
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            QCOMPARE(button->text(), text);
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            QCOMPARE(edit->text(), text);
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            QCOMPARE(box->title(), text);
        else
            QFAIL("text given for a widget that has none");
    }

    if (auto *box = qobject_cast<QComboBox *>(widget); box && !items.isEmpty()) {
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        QCOMPARE(shown, items);
        QCOMPARE(box->currentText(), items.first());
    }

    if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
        QStringList titles;
        QStringList names;
        for (int i = 0; i < tabs->count(); ++i) {
            titles << tabs->tabText(i);
            names << tabs->widget(i)->objectName();
        }
        QCOMPARE(titles, items);
        QCOMPARE(names, pages);
        QCOMPARE(tabs->currentIndex(), current);
    }

    if (auto *stack = qobject_cast<QStackedWidget *>(widget)) {
        QStringList names;
        for (int i = 0; i < stack->count(); ++i)
            names << stack->widget(i)->objectName();
        QCOMPARE(names, pages);
        QCOMPARE(stack->currentIndex(), current);
    }

    if (maxLength != 0)
        QCOMPARE(qobject_cast<QLineEdit *>(widget)->maxLength(), maxLength);

    if (enabled != Any)
        QCOMPARE(widget->isEnabled(), enabled == Yes);
    if (readOnly != Any) {
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            QCOMPARE(edit->isReadOnly(), readOnly == Yes);
        else
            QCOMPARE(qobject_cast<QTextEdit *>(widget)->isReadOnly(), readOnly == Yes);
    }

    if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
}

void TestForm::helpBoxes_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("shape"); // see paragraphShape()
    QTest::addColumn<QStringList>("red"); // the notes, paragraph by paragraph
    QTest::addColumn<QStringList>("phrases"); // must each appear in the text

    QTest::newRow("textEdit_4") << true << true << "xx-xx-r"
                                << QStringList {QStringLiteral("注:仅部份输出卡支持此选项")}
                                << QStringList {
                                       QStringLiteral("此选项用于改变输出板卡的分辨率."),
                                       QStringLiteral("指令格式为ASCII码:"),
                                       "\"*>O4 SET1080P60 END!\"",
                                       QStringLiteral("是大写字母O加数字4,表示第四路输出."),
                                       QStringLiteral("可以选择1280x1024等")};
    QTest::newRow("textEdit_5") << true << true << "x-x-x-x" << QStringList {}
                                << QStringList {
                                       QStringLiteral("此选项用于更改信号输出模式."),
                                       QStringLiteral("这时我们需要把信号输出配置为DVI模式即可."),
                                       QStringLiteral("输出VGA信号需要配置为RGB模式"),
                                       QStringLiteral("仅无缝输出板卡支持此选顶")};
    QTest::newRow("textEdit_6") << true << true << "i" << QStringList {} << QStringList {};
    QTest::newRow("textEdit_7") << false << false << "x-x" << QStringList {}
                                << QStringList {
                                       QStringLiteral("仅HDMI 4K2K输出板与固定机箱矩阵支持此功能."),
                                       QStringLiteral("但可能会导致部份设备闪屏或无图像")};
    QTest::newRow("textEdit")
        << true << true << "xx-x--r"
        << QStringList {QStringLiteral("注:仅适于部份输入板卡支持更改输入源选项")}
        << QStringList {QStringLiteral("此选项用于改变输入板卡的分辨率."),
                        "\"*>I4 SET1080P60 END!\"",
                        QStringLiteral("第二条指令中后面数字 1表示分辨率编号.")};
    QTest::newRow("textEdit_2")
        << true << true << "xx-x-x-rrrr-r"
        << QStringList {QStringLiteral("注:DVI-I输入板卡支持 HDMI/VGA/CVBS以及色差输入,"
                                       "这里会使用相应的转接头,其色差线接线方式为:"),
                        QStringLiteral("黄线( Y信号) -> 转接头的绿色头"),
                        QStringLiteral("红线(Cr信号) -> 转接头的红色头"),
                        QStringLiteral("蓝线(Cb信号) -> 转接头的蓝色头"),
                        QStringLiteral("CVBS接入到 转接头的绿线 或 红线(我们板卡存在两个不同版本)")}
        << QStringList {QStringLiteral("其中VGA板卡不支持HDMI信号输入."),
                        QStringLiteral("因为HDMI完全兼容DVI"), "\"*>I4 SRCVGA END!\"",
                        "\"*>I4 SRCHDMI END!\""};
    QTest::newRow("textEdit_3") << true << true << "xx-x-r"
                                << QStringList {QStringLiteral("注:仅高清设备支持EDID调整.")}
                                << QStringList {
                                       QStringLiteral("EDID是用来描述显示器相关信息的数据."),
                                       QStringLiteral("专业人事来操作EDID."),
                                       QStringLiteral("可以使用 复制显示器 模式")};
}

void TestForm::helpBoxes()
{
    QFETCH(bool, enabled);
    QFETCH(bool, readOnly);
    QFETCH(QString, shape);
    QFETCH(QStringList, red);
    QFETCH(QStringList, phrases);

    auto *box = window->findChild<QTextEdit *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(box);
    QCOMPARE(box->isEnabled(), enabled);
    QCOMPARE(box->isReadOnly(), readOnly);

    const QTextDocument *doc = box->document();
    QCOMPARE(paragraphShape(doc), shape);
    QCOMPARE(redParagraphs(doc), red);
    const QString plain = doc->toPlainText();
    for (const QString &phrase : phrases)
        QVERIFY2(plain.contains(phrase), qPrintable(phrase));

    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        QCOMPARE(format.topMargin(), 0.0);
        QCOMPARE(format.bottomMargin(), 0.0);
        QCOMPARE(format.leftMargin(), 0.0);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                continue;
            QCOMPARE(format.fontFamily(), QStringLiteral("SimSun"));
            QCOMPARE(format.fontPointSize(), 9.0);
        }
    }
}

void TestForm::windowSizeTitleAndSheet()
{
    QCOMPARE(window->objectName(), QStringLiteral("ctrlForm"));
    QCOMPARE(window->windowTitle(), QStringLiteral("ctrlUi"));
    QCOMPARE(window->size(), QSize(1100, 654));
    QCOMPARE(window->minimumSize(), QSize(900, 600));

    // Colours the selected and the hovered tab label red in every tab bar.
    QCOMPARE(
        window->styleSheet().toUtf8(),
        QByteArray("QTabBar::tab:selected, QTabBar::tab:hover {\t\n\tcolor:rgb(255, 0, 0); \n}\n"));

    auto *tIn = window->findChild<QWidget *>(QStringLiteral("tWidgetIn"));
    QVERIFY(tIn);
    QCOMPARE(tIn->styleSheet(), QStringLiteral("QCheckBox { color: red }"));

    auto *mainTabs = window->findChild<QTabWidget *>(QStringLiteral("gridTabWidget"));
    QVERIFY(mainTabs);
    QCOMPARE(mainTabs->tabShape(), QTabWidget::Triangular);
    QCOMPARE(mainTabs->font().family(), QStringLiteral("Algerian"));
    QCOMPARE(mainTabs->font().pointSize(), 11);

    // "网络配置" is an empty page.
    auto *networkPage = window->findChild<QWidget *>(QStringLiteral("tab_8"));
    QVERIFY(networkPage);
    QVERIFY(networkPage->findChildren<QWidget *>().isEmpty());
}

void TestForm::tabSheetIsSharedAndParses()
{
    auto *outputTabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidget_2"));
    auto *inputTabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(outputTabs && inputTabs);
    QCOMPARE(outputTabs->styleSheet(), inputTabs->styleSheet());
    QCOMPARE(outputTabs->styleSheet().size(), 864);
    QCOMPARE(selectors(outputTabs->styleSheet()),
             QStringList({"QTabBar::tab", "QTabBar::tab:selected, QTabBar::tab:hover",
                          "QTabBar::tab:selected", "QTabBar::tab:!selected"}));

    // Qt only parses a sheet when it polishes a widget; a broken one shows as
    // a warning, so every page is shown once.
    styleSheetWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectStyleSheetWarnings);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *mainTabs = window->findChild<QTabWidget *>(QStringLiteral("gridTabWidget"));
    for (QTabWidget *tabs : {mainTabs, outputTabs, inputTabs}) {
        const int start = tabs->currentIndex();
        if (tabs != mainTabs)
            mainTabs->setCurrentWidget(tabs->parentWidget());
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            window->grab();
        }
        tabs->setCurrentIndex(start);
    }
    mainTabs->setCurrentIndex(0);
    window->hide();
    qInstallMessageHandler(previous);
    QCOMPARE(styleSheetWarnings, QStringList());
}

void TestForm::wallIllustrationIsBuiltIn()
{
    auto *box = window->findChild<QTextEdit *>(QStringLiteral("textEdit_6"));
    QVERIFY(box);
    QString source;
    const QTextBlock block = box->document()->begin();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat())
            source = it.fragment().charFormat().toImageFormat().name();
    }
    QCOMPARE(source, QStringLiteral(":/res/res/wall.png"));

    const QImage image(source);
    QVERIFY2(!image.isNull(), "the resource is not compiled into the program");
    QCOMPARE(image.size(), QSize(336, 273));
}

void TestForm::objectNamesAreUnique()
{
    QMultiHash<QString, QObject *> byName;
    for (QObject *object : window->findChildren<QObject *>()) {
        // Qt names some of its own helpers too: "qt_..." and the scroll
        // buttons of every tab bar.
        const QString name = object->objectName();
        if (qobject_cast<QTabBar *>(object->parent()))
            continue;
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            byName.insert(name, object);
    }
    QStringList repeated;
    for (const QString &name : byName.uniqueKeys()) {
        if (byName.count(name) > 1)
            repeated << name;
    }
    QVERIFY2(repeated.isEmpty(), qPrintable(repeated.join(QLatin1Char(' '))));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
