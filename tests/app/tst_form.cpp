#include "app/ctrlui.h"

#include <QtTest>
#include <QtWidgets>

// Other code finds widgets by object name and turns combo box indexes into commands.
// One row a line (an indented line continues the row above):
//   row name | class | widgets ("name=text" also checks the text) | properties all share
static const char table[] = R"(
link choice | QComboBox | cBoxCommunicationSet | items=串口通信, TCPclient currentIndex=0
link pages | QStackedWidget | sWidgetCommunication | count=2 currentIndex=0
serial lists, filled at run time | QComboBox | cBoxCOMn cBoxCOMbaudrate
device number | QComboBox | cBoxDeviceNo | items=A, B, C, D, E, F, G, H currentIndex=0
greyed out | QLineEdit | lEdtCurrentOut lEdtCurrentIn lEdtDeviceModel | enabled=false readOnly=true
port counts | QLineEdit | lEdtInputCount lEdtOutputCount | maxLength=32767 readOnly=false
previews and reply log | QTextEdit | tEdtCurrentOutDataASCII tEdtCurrentOutDataHEX
    tEdtCurrentDataRES | enabled=true readOnly=true
routing tables | QTableWidget | tWidgetOut
input table | QTableWidget | tWidgetIn | styleSheet=QCheckBox { color: red }
main buttons | QPushButton | pBtnOpenCOM pBtnCommunicationConnect=连接矩阵 pushButton=清除显示
    pBtnRefresh=刷新 pBtnConnect=连接 pBtnQueryReq=查询
main tabs | QTabWidget | gridTabWidget | currentIndex=0
    items=切换控制, 输出卡配置, 输入卡配置, 其他控制, 网络配置
output card tabs | QTabWidget | tabWidget_2 | currentIndex=0 styleSheetMd5=152033b39e29
    items=分辨率设置, 输出模式设置, 大屏分割, 图像调整
input card tabs | QTabWidget | tabWidget | currentIndex=2 styleSheetMd5=152033b39e29
    items=分辨率设置, 信号源选择, EDID配置, 图像调整
output resolutions | QComboBox | outResComboBox | items=1080P, 720P, 480P, 1024x768, 1366x768,
    1280x800, 1280x1024, 1440x900, 1680x1050, 1080P50, 1080P30, 720P50, 720P30 currentIndex=0
input resolutions | QComboBox | inResComboBox | items=1080P, 720P, 480P, 1024x768, 1366x768,
    1280x800, 1280x1024, 1440x900, 1680x1050 currentIndex=0
output modes | QComboBox | outModeComboBox | items=HDMI, DVI, YCbCr, RGB, 等比例模式 currentIndex=0
input sources | QComboBox | inSrcComboBox | items=VGA, HDMI, CVBS, YCbCr currentIndex=0
EDID modes | QComboBox | inEdidComboBox | items=1:复制显示器, 2:DVI模式, 3:HDMI模式,
    4:快门式3D+4K2K, 5:HDMI-4K2K, 6:HDMI1366, 7:Q-VMX, 8:默认-三星显示器 currentIndex=0
wall counts | QComboBox | wallHtotal wallVtotal wallHnum wallVnum
    | items=1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 currentIndex=0
3-character fields | QLineEdit | outResLineEdit outImagePort outBrightness wallPort outEdidlineEdit
    inResLineEdit inImagePort inBrightness inEdidLineEdit | maxLength=3 enabled=true readOnly=false
fields with the default limit | QLineEdit | lEdtCommunicationIPset=192.168.0.86
    lEdtCommunicationPort=8126 outModeLineEdit inSrcLineEdit savePlanText loadPlanText
    changeInPortNum changeOutPortNum otherTextSend | maxLength=32767 enabled=true readOnly=false
OK buttons | QPushButton | outResPushButton outModePushButton wallButton outBrightnessButton
    inResPushButton inSrcPushButton inEdidPushButton inBrightnessButton savePlanPushButton
    loadPushButton changePortNumButton otherSendButton | text=确定
drive and seamless buttons | QPushButton | outResOpenButton=开启 outResCloseButton=关闭
    outResNoneButton=默认值 outSeamlessButton=无缝输出模式 notSeamlessButton=非无缝
EDID copy label | QLabel | outEdidText=输出显示器端口: | enabled=true
labels with ranges and defaults | QLabel | label_4=端口:默认8126 label_30=亮度调整(10~200):
    label_19=亮度调整(10~200):
resolution help | QTextEdit | textEdit_4 textEdit | readOnly=true fonts=SimSun redParagraphs=7
EDID help | QTextEdit | textEdit_3 | readOnly=true fonts=SimSun redParagraphs=6
source help | QTextEdit | textEdit_2 | readOnly=true fonts=SimSun redParagraphs=8, 9, 10, 11, 13
mode help | QTextEdit | textEdit_5 | readOnly=true fonts=SimSun redParagraphs=
drive help, greyed | QTextEdit | textEdit_7 | enabled=false fonts=SimSun redParagraphs=
wall help | QTextEdit | textEdit_6 | readOnly=true images=:/res/res/wall.png
)";

// "key=value" for a property, else a pseudo-property: combo box or tab "items"; a style sheet's
// MD5; in rich text the "fonts" and "images" used and the "redParagraphs" (from 1).
static QString shown(QWidget *w, const QString &key)
{
    QMap<QString, QStringList> pseudo;
    auto *box = qobject_cast<QComboBox *>(w);
    auto *tabs = qobject_cast<QTabWidget *>(w);
    for (int i = 0; i < (box ? box->count() : tabs ? tabs->count() : 0); ++i)
        pseudo["items"] << (box ? box->itemText(i) : tabs->tabText(i));
    auto *edit = qobject_cast<QTextEdit *>(w);
    for (QTextBlock b = edit ? edit->document()->begin() : QTextBlock(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            pseudo["fonts"] << format.fontFamily();
            pseudo["images"] << format.toImageFormat().name(); // empty for text
            if (format.foreground().color() == QColor(Qt::red))
                pseudo["redParagraphs"] << QString::number(b.blockNumber() + 1);
        }
    pseudo["fonts"].removeDuplicates();
    pseudo["images"].removeAll(QString());
    pseudo["redParagraphs"].removeDuplicates();
    const auto md5 = QCryptographicHash::hash(w->styleSheet().toUtf8(), QCryptographicHash::Md5);
    pseudo["styleSheetMd5"] << md5.toHex().left(12);
    const QVariant value = w->property(qPrintable(key));
    return key + '=' + (value.isValid() ? value.toString() : pseudo.value(key).join(", "));
}

class TestForm : public QObject
{
    Q_OBJECT
    ctrlUi window;

private slots:
    void widgets_data()
    {
        QTest::addColumn<QStringList>("cells"); // row name, class, widgets, properties
        const QString rows = QString(table).replace(QRegularExpression("\n +"), " ");
        for (const QString &row : rows.split('\n', Qt::SkipEmptyParts))
            QTest::newRow(qPrintable(row.section(" | ", 0, 0))) << row.split(" | ");
    }

    void widgets()
    {
        QFETCH(QStringList, cells);
        for (const QString &entry : cells[2].split(' ')) {
            const QString name = entry.section('=', 0, 0);
            QWidget *w = window.findChild<QWidget *>(name);
            QVERIFY2(w, qPrintable("no widget " + name));
            QCOMPARE(name + ' ' + w->metaObject()->className(), name + ' ' + cells[1]);
            auto wanted = cells.value(3).split(QRegularExpression(" (?=\\w+=)")); // "key=value"
            wanted << (entry.contains('=') ? "text=" + entry.section('=', 1) : QString());
            for (const QString &want : wanted.filter("="))
                QCOMPARE(name + ' ' + shown(w, want.section('=', 0, 0)), name + ' ' + want);
        }
    }

    void windowAndWallImage()
    {
        QCOMPARE(window.objectName() + ' ' + window.windowTitle(), QString("ctrlForm ctrlUi"));
        QCOMPARE(window.size(), QSize(1100, 654));
        QCOMPARE(window.minimumSize(), QSize(900, 600));
        QCOMPARE(window.styleSheet(),
                 "QTabBar::tab:selected, QTabBar::tab:hover {\t\n\tcolor:rgb(255, 0, 0); \n}\n");
        QCOMPARE(QImage(":/res/res/wall.png").size(), QSize(336, 273));
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
