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
output card tabs | QTabWidget | tabWidget_2 | currentIndex=0
    items=分辨率设置, 输出模式设置, 大屏分割, 图像调整
input card tabs | QTabWidget | tabWidget | currentIndex=2
    items=分辨率设置, 信号源选择, EDID配置, 图像调整
lists whose items tst_settingscommands holds against the command tables | QComboBox
    | outResComboBox inResComboBox outModeComboBox inSrcComboBox inEdidComboBox | currentIndex=0
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
help boxes | QTextEdit | textEdit_4 textEdit textEdit_3 textEdit_2 textEdit_5 | readOnly=true
drive help, greyed | QTextEdit | textEdit_7 | enabled=false
wall help, its image compiled in | QTextEdit | textEdit_6 | readOnly=true images=:/res/res/wall.png
)";

// "key=value" for a property, else a pseudo-property: combo box or tab "items", or the "images"
// a rich text uses.
static QString shown(QWidget *w, const QString &key)
{
    QMap<QString, QStringList> pseudo;
    auto *box = qobject_cast<QComboBox *>(w);
    auto *tabs = qobject_cast<QTabWidget *>(w);
    for (int i = 0; i < (box ? box->count() : tabs ? tabs->count() : 0); ++i)
        pseudo["items"] << (box ? box->itemText(i) : tabs->tabText(i));
    auto *edit = qobject_cast<QTextEdit *>(w);
    for (QTextBlock b = edit ? edit->document()->begin() : QTextBlock(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            pseudo["images"] << it.fragment().charFormat().toImageFormat().name(); // empty: text
    pseudo["images"].removeAll(QString());
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
        QCOMPARE(QImage(":/res/res/wall.png").size(), QSize(336, 273));
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
