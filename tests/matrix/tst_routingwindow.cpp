#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"

#include <QtTest>

// Routing tables, switching commands and replies applied to the window (the
// decoding itself is tested without a window).
class TestRoutingWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        window.reset(new ctrlUi);
        probe.reset(new CtrlUiProbe(*window));
        probe->setRoutingControlsEnabled(true); // as after a link has opened
    }
    void countBoxesRebuildTheTables();
    void switchCommand_data();
    void switchCommand();
    void deviceInformation();
    void unusableCountsLoadTheDefault();
    void routingMapLabels();

private:
    void typeCounts(const QString &inputs, const QString &outputs)
    {
        probe->ui().lEdtInputCount->setText(inputs);
        probe->ui().lEdtOutputCount->setText(outputs);
        QMetaObject::invokeMethod(probe->ui().lEdtOutputCount, "editingFinished");
    }
    QString cell(QTableWidget *table, int row, int column)
    {
        return table->item(row, column) ? table->item(row, column)->text() : "-";
    }
    QScopedPointer<ctrlUi> window;
    QScopedPointer<CtrlUiProbe> probe;
};

void TestRoutingWindow::countBoxesRebuildTheTables()
{
    QTableWidget *in = probe->ui().tWidgetIn, *out = probe->ui().tWidgetOut;
    typeCounts("8", "3");
    QCOMPARE(in->rowCount(), 8);
    QCOMPARE(out->columnCount(), 3);
    QCOMPARE(cell(in, 7, 0) + cell(out, 2, 0), QStringLiteral("输入8输出3"));
    QCOMPARE(out->horizontalHeaderItem(2)->text(), QStringLiteral("连接信息显示"));
    QCOMPARE(probe->outputCount(), 0); // the boxes never change what a map is judged by

    // Cells of surviving rows are kept; the current row follows a shrink.
    in->setItem(2, 1, new QTableWidgetItem("DVD"));
    out->setItem(1, 2, new QTableWidgetItem("输入3"));
    out->setCurrentCell(2, 1);
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("3"));
    typeCounts("3", "2");
    QCOMPARE(cell(in, 2, 1) + cell(out, 1, 2), QStringLiteral("DVD输入3"));
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("2"));
    typeCounts("3", "0"); // no row left: the box keeps its number...
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("2"));
    in->setCurrentCell(0, 0);
    MessageBoxRecorder boxes;
    probe->ui().pBtnConnect->click(); // ...but is not used to switch
    QCOMPARE(boxes.summary(), QStringLiteral("未选择输出端 / 请选择所需的输出端！"));

    QLineEdit *box = probe->ui().lEdtInputCount; // signs and letters never get in,
    box->clear();
    QTest::keyClicks(box, "-5x10\r");
    QCOMPARE(box->text(), QStringLiteral("510"));
    QCOMPARE(in->rowCount(), 3); // and a number above 100 never rebuilds
}

void TestRoutingWindow::switchCommand_data()
{
    QTest::addColumn<int>("inputRow");
    QTest::addColumn<int>("outputRow");
    QTest::addColumn<QString>("result");
    QTest::newRow("input 1 to output 4") << 0 << 3 << "2A 34 3C 31 21";
    QTest::newRow("no padding") << 1 << 9 << "2A 31 30 3C 32 21";
    QTest::newRow("neither selected: input named first")
        << -1 << -1 << "未选择输入端 / 请选择所需的输入端！";
    QTest::newRow("no input") << -1 << 2 << "未选择输入端 / 请选择所需的输入端！";
    QTest::newRow("no output") << 2 << -1 << "未选择输出端 / 请选择所需的输出端！";
}

void TestRoutingWindow::switchCommand()
{
    QFETCH(int, inputRow);
    QFETCH(int, outputRow);
    QFETCH(QString, result);
    typeCounts("16", "16");
    probe->ui().tWidgetIn->setCurrentCell(inputRow, 0);
    probe->ui().tWidgetOut->setCurrentCell(outputRow, 1);
    MessageBoxRecorder boxes;
    probe->ui().pBtnConnect->click();
    if (result.startsWith("2A")) // built, then dropped for want of a link
        QCOMPARE(probe->ui().tEdtCurrentOutDataHEX->toPlainText(), result);
    else
        QCOMPARE(boxes.summary(), result);
}

void TestRoutingWindow::deviceInformation()
{
    probe->parseStatusReply(QByteArray("B:\x04"
                                       "ABCDx08-16-PQRS"));
    probe->parseStatusReply(QByteArray("Z:\x04"
                                       "ABCDx08-16-PQRS")); // no such device letter
    probe->parseStatusReply(QByteArray("C:\x04"
                                       "ABCDx02-03-PQRS!")); // not information at all
    QCOMPARE(probe->ui().cBoxDeviceNo->currentText(), QStringLiteral("B"));
    QCOMPARE(probe->ui().lEdtDeviceModel->text(), QStringLiteral("ABCDx08-16-PQRS"));
    QCOMPARE(probe->ui().lEdtInputCount->text() + probe->ui().lEdtOutputCount->text(), "816");
    QCOMPARE(probe->ui().tWidgetIn->rowCount() * 100 + probe->ui().tWidgetOut->rowCount(), 816);
    QCOMPARE(cell(probe->ui().tWidgetOut, 15, 0), QStringLiteral("输出16"));
}

void TestRoutingWindow::unusableCountsLoadTheDefault()
{
    // A good reply parsed while the error box is still open must win: the
    // default is in place before the box, not applied after it.
    MessageBoxRecorder boxes;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        QCOMPARE(probe->outputCount(), 72);
        QCOMPARE(probe->ui().tWidgetIn->rowCount(), 72);
        probe->parseStatusReply(QByteArray("A:\x04"
                                           "ABCDx04-06-PQRS"));
    });
    probe->parseStatusReply(QByteArray("B:\x04"
                                       "ABCDx00-16-PQRS"));
    QCOMPARE(boxes.summary(),
             QStringLiteral("错误 / 数据接收错误,请检查串口线或网络IP是否正常!\n加载默认配置文档"));
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Information);
    QCOMPARE(probe->outputCount(), 6);
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 6);
}

void TestRoutingWindow::routingMapLabels()
{
    probe->parseStatusReply(QByteArray("A:\x04"
                                       "ABCDx04-04-PQRS"));
    probe->ui().tWidgetIn->setItem(2, 1, new QTableWidgetItem("DVD"));
    probe->ui().tWidgetIn->setItem(3, 1, new QTableWidgetItem(""));
    // Refused maps change nothing; input 0 and 99 have no row and show as numbers.
    for (const QByteArray map : {"A:03000499", "A:0102030", "A:01020304!", "A:01020304\r\n"})
        probe->parseStatusReply(map);
    QStringList column;
    for (int row = 0; row < 4; ++row)
        column << cell(probe->ui().tWidgetOut, row, 2) + "="
                + QString::number(probe->outputSource(row));
    QCOMPARE(column.join(' '), QStringLiteral("输入3:DVD=3 0=0 输入4=4 99=99"));
    typeCounts("4", "2"); // the operator shows fewer outputs than the device has
    probe->parseStatusReply("A:04030201");
    QCOMPARE(cell(probe->ui().tWidgetOut, 1, 2), QStringLiteral("输入3:DVD"));
    QCOMPARE(probe->outputSource(3), 1);
}

QTEST_MAIN(TestRoutingWindow)
#include "tst_routingwindow.moc"
