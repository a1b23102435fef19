// The console window against the device simulator in one process, over 127.0.0.1 and a pty:
// two separately written readings of the command vocabulary checking each other.

#include "codec/codec.h"
#include "sim/simserver.h"
#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"

#include <QtTest>

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QScopedPointer<SimServer> sim;
    QScopedPointer<ctrlUi> window; // goes first, closing its links
    Ui_ctrlForm *ui = nullptr;
    MessageBoxRecorder boxes; // any box is a failure unless the test clears it
    bool deviceUnread = false;

    QPoint tables() { return QPoint(ui->tWidgetIn->rowCount(), ui->tWidgetOut->rowCount()); }
    QString route(int out) { return ui->tWidgetOut->model()->index(out - 1, 2).data().toString(); }
    bool routes(int input, int output) // selects the rows, clicks, waits for the label
    {
        ui->tWidgetIn->setCurrentCell(input - 1, 0);
        ui->tWidgetOut->setCurrentCell(output - 1, 0);
        ui->pBtnConnect->click();
        return QTest::qWaitFor([&] { return route(output) == "输入" + QString::number(input); });
    }
    // Per combo index (once if none): types "edit=text", sets combos to it, clicks buttons.
    void drive(const QString &widgets)
    {
        for (int index = 0, indexes = 1; index < indexes; ++index)
            for (const QString &name : widgets.split(' ')) {
                QObject *widget = window->findChild<QObject *>(name.section('=', 0, 0));
                if (auto *edit = qobject_cast<QLineEdit *>(widget))
                    edit->setText(name.section('=', 1));
                else if (auto *combo = qobject_cast<QComboBox *>(widget))
                    combo->setCurrentIndex(index), indexes = combo->count();
                else
                    qobject_cast<QPushButton *>(widget)->click();
            }
    }

private slots:
    void init()
    {
        window.reset(new ctrlUi); // the old window's links close before the old simulator goes
        ui = &CtrlUiProbe(*window).ui();
        SimServer::Options options;
        options.port = 0; // on 127.0.0.1, the default address
        options.tcpReplyGapMs = options.fragmentGapMs = 100; // each transmission one reading
        sim.reset(new SimServer(options));
        sim->device().setPortCounts(12, 8);
        // When the console cannot read the simulator at all (a decoder fault), every row
        // would wait out its timeouts and the whole test would hit CTest's limit instead
        // of saying why: the first row says it, the others fail at once.
        QVERIFY2(!deviceUnread, "the console never read the simulator's device information");
        QVERIFY(sim->listenTcp() && CtrlUiProbe(*window).connectTcp(sim->tcpPort()));
        deviceUnread = !QTest::qWaitFor([&] { return tables() == QPoint(12, 8); }, 2000);
        QVERIFY2(!deviceUnread,
                 qPrintable("tables not 12 x 8 after the device information; reply log: "
                            + CtrlUiProbe(*window).log()));
    }
    void cleanup() { QVERIFY2(boxes.count() == 0, qPrintable(boxes.summary())); }

    void routeOverTcpThenPty()
    {
        QVERIFY(routes(5, 3));
        drive("savePlanText=4 savePlanPushButton");
        QVERIFY(routes(12, 3));
        drive("loadPlanText=4 loadPushButton");
        QTRY_COMPARE(route(3), QStringLiteral("输入5"));
        drive("changeInPortNum=6 changeOutPortNum=4 changePortNumButton");
        QTRY_COMPARE(tables(), QPoint(6, 4));

        QVERIFY(sim->openPty() && CtrlUiProbe(*window).openSerial(sim->ptySlavePath()));
        QVERIFY(routes(5, 2));
    }

    // Every settings button with valid fields; the number is how many commands that makes.
    void settingsCommandsUnderstood_data()
    {
        QTest::addColumn<QString>("widgets");
        for (const char *row :
             {"outResLineEdit=8 outResComboBox outResPushButton 26",
              "outModeLineEdit=1 outModeComboBox outModePushButton 7",
              "outImagePort=8 outBrightness=200 outBrightnessButton "
              "outSeamlessButton notSeamlessButton outResOpenButton "
              "outResCloseButton outResNoneButton 10",
              "inResLineEdit=12 inResComboBox inResPushButton 13",
              "inSrcLineEdit=12 inSrcComboBox inSrcPushButton 8",
              "inImagePort=12 inBrightness=10 inBrightnessButton 1",
              "inEdidLineEdit=12 outEdidlineEdit=8 inEdidComboBox inEdidPushButton 16",
              "wallPort=8 wallHtotal wallVtotal wallHnum wallVnum wallButton 16",
              "savePlanText=30 loadPlanText=30 savePlanPushButton loadPushButton 2",
              "changeInPortNum=72 changeOutPortNum=1 changePortNumButton 1"})
            QTest::newRow(row) << QString(row);
    }
    void settingsCommandsUnderstood()
    {
        QFETCH(QString, widgets);
        drive(widgets.section(' ', 0, -2));
        ui->pBtnQueryReq->click(); // "*!" marks the end
        const QVector<MatrixDevice::Outcome> &records = sim->device().records();
        QTRY_COMPARE(records.last().bytes, QByteArray("*!"));
        for (const MatrixDevice::Outcome &o : records)
            QVERIFY2(o.understood, qPrintable(printable(o.bytes) + " (" + o.description + ")"));
        QCOMPARE(records.size(), widgets.section(' ', -1).toInt() + 2); // and "*?!", "*!"
    }

    // Each TCP reading is parsed on its own: pieces are not joined, nor replies sought in them.
    void faultyReplies_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("readings");
        QTest::addColumn<QPoint>("tablesAfter");
        QTest::newRow("random bytes instead") << "garbage instead" << 1 << QPoint(12, 8);
        QTest::newRow("2-byte pieces: 9 readings, no reply") << "pieces" << 9 << QPoint(12, 8);
        QTest::newRow("hang up after the reply") << "close" << 1 << QPoint(6, 4);
    }
    void faultyReplies()
    {
        QFETCH(QString, fault);
        QFETCH(int, readings);
        QFETCH(QPoint, tablesAfter);
        SimServer::Options o = sim->options();
        o.garbageEvery = fault == "garbage instead";
        o.garbageMode = SimServer::GarbageMode::Instead;
        o.fragmentBytes = fault == "pieces" ? 2 : 0;
        o.closeAfterCommands = fault == "close" ? 2 : 0; // "*?!" on connecting was the 1st
        sim->setOptions(o);
        sim->device().setPortCounts(6, 4);
        QSignalSpy log(ui->tEdtCurrentDataRES, &QTextEdit::textChanged);
        ui->pBtnRefresh->click();
        QTRY_COMPARE(log.count(), readings);
        QCOMPARE(tables(), tablesAfter);
        if (fault != "close")
            return;
        QTRY_COMPARE(boxes.summary(),
                     QStringLiteral("网络 / 产生如下错误: The remote host closed the connection."));
        boxes.clear();
        sim->setOptions({});
        QVERIFY(CtrlUiProbe(*window).connectTcp(sim->tcpPort())); // only from "连接矩阵"
        QVERIFY(routes(3, 1));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
