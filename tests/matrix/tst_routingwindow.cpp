#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"

#include <QtTest>

// The routing tables, the switching commands and replies applied to the
// window. The reply decoding itself is tested without a window.
class TestRoutingWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tablesStartEmpty();
    void countBoxesRebuildBothTables();
    void rebuildKeepsSurvivingCells();
    void currentRowFollowsShrinking();
    void switchCommand_data();
    void switchCommand();
    void switchNeedsBothSelections_data();
    void switchNeedsBothSelections();

    void deviceInformationFillsTheWindow();
    void unusableCountsLoadTheDefault();
    void defaultDoesNotOverwriteALaterReply();
    void routingMapLabels_data();
    void routingMapLabels();
    void refusedMapChangesNothing();
    void mapForShrunkTableIsHarmless();

private:
    void typeCount(QLineEdit *box, const QString &text);
    QString cell(QTableWidget *table, int row, int column);

    ctrlUi *window = nullptr;
    CtrlUiProbe *probe = nullptr;
};

void TestRoutingWindow::init()
{
    window = new ctrlUi;
    probe = new CtrlUiProbe(*window);
    probe->setRoutingControlsEnabled(true);
}

void TestRoutingWindow::cleanup()
{
    delete probe;
    delete window;
}

void TestRoutingWindow::typeCount(QLineEdit *box, const QString &text)
{
    box->setText(text);
    QMetaObject::invokeMethod(box, "editingFinished");
}

QString TestRoutingWindow::cell(QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

void TestRoutingWindow::tablesStartEmpty()
{
    QCOMPARE(probe->ui().tWidgetIn->columnCount(), 0);
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 0);
    QCOMPARE(probe->ui().tWidgetIn->editTriggers(), QAbstractItemView::DoubleClicked);
    QCOMPARE(probe->ui().tWidgetOut->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(probe->ui().tWidgetOut->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(probe->ui().tWidgetIn->verticalHeader()->isHidden());
    // Rows of 20 pixels, unless the header's font needs more.
    QHeaderView *rows = probe->ui().tWidgetIn->verticalHeader();
    QCOMPARE(rows->defaultSectionSize(), qMax(20, rows->minimumSectionSize()));
}

void TestRoutingWindow::countBoxesRebuildBothTables()
{
    probe->ui().lEdtOutputCount->setText("3");
    typeCount(probe->ui().lEdtInputCount, "8");

    QCOMPARE(probe->ui().tWidgetIn->rowCount(), 8);
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 3);
    QCOMPARE(probe->ui().tWidgetIn->columnCount(), 2);
    QCOMPARE(probe->ui().tWidgetOut->columnCount(), 3);
    QCOMPARE(cell(probe->ui().tWidgetIn, 0, 0), QStringLiteral("输入1"));
    QCOMPARE(cell(probe->ui().tWidgetIn, 7, 0), QStringLiteral("输入8"));
    QCOMPARE(cell(probe->ui().tWidgetOut, 2, 0), QStringLiteral("输出3"));
    QCOMPARE(probe->ui().tWidgetIn->horizontalHeaderItem(1)->text(),
             QStringLiteral("挂接设备名称"));
    QCOMPARE(probe->ui().tWidgetOut->horizontalHeaderItem(2)->text(),
             QStringLiteral("连接信息显示"));
    QCOMPARE(probe->ui().tWidgetOut->horizontalHeader()->sectionSize(0), 60);
    // The boxes rebuild the tables only; the counts a routing map is judged
    // by stay what the device reported.
    QCOMPARE(probe->outputCount(), 0);

    // The validator keeps out signs and letters, and a number above 100 is
    // never accepted, so it rebuilds nothing.
    QLineEdit *box = probe->ui().lEdtInputCount;
    box->clear();
    QTest::keyClicks(box, "-5x");
    QCOMPARE(box->text(), QStringLiteral("5"));
    QTest::keyClicks(box, "10");
    QVERIFY(!box->hasAcceptableInput());
    QSignalSpy finished(box, &QLineEdit::editingFinished);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(probe->ui().tWidgetIn->rowCount(), 8);
}

void TestRoutingWindow::rebuildKeepsSurvivingCells()
{
    probe->ui().lEdtOutputCount->setText("4");
    typeCount(probe->ui().lEdtInputCount, "4");
    probe->ui().tWidgetIn->setItem(2, 1, new QTableWidgetItem("DVD"));
    probe->ui().tWidgetOut->setItem(1, 2, new QTableWidgetItem("输入3"));

    probe->ui().lEdtOutputCount->setText("2");
    typeCount(probe->ui().lEdtInputCount, "3");
    QCOMPARE(cell(probe->ui().tWidgetIn, 2, 1), QStringLiteral("DVD"));
    QCOMPARE(cell(probe->ui().tWidgetOut, 1, 2), QStringLiteral("输入3"));

    typeCount(probe->ui().lEdtInputCount, "2");
    typeCount(probe->ui().lEdtInputCount, "5");
    QCOMPARE(cell(probe->ui().tWidgetIn, 2, 1), QStringLiteral("<none>"));
}

void TestRoutingWindow::currentRowFollowsShrinking()
{
    probe->ui().lEdtOutputCount->setText("8");
    typeCount(probe->ui().lEdtInputCount, "8");
    probe->ui().tWidgetOut->setCurrentCell(6, 2);
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("7"));
    probe->ui().tWidgetOut->setCurrentCell(6, 0); // another column, same row
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("7"));

    typeCount(probe->ui().lEdtOutputCount, "5");
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("5"));
    typeCount(probe->ui().lEdtOutputCount, "0");
    QCOMPARE(probe->ui().tWidgetOut->currentRow(), -1);
    QCOMPARE(probe->ui().lEdtCurrentOut->text(), QStringLiteral("5"));

    // With no output row left, the box's old number is not used to switch.
    probe->ui().tWidgetIn->setCurrentCell(0, 0);
    MessageBoxRecorder boxes;
    probe->ui().pBtnConnect->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("未选择输出端"));
}

void TestRoutingWindow::switchCommand_data()
{
    QTest::addColumn<int>("inputRow");
    QTest::addColumn<int>("outputRow");
    QTest::addColumn<QString>("hex");

    QTest::newRow("input 1 to output 4") << 0 << 3 << "2A 34 3C 31 21";
    QTest::newRow("two digits, not padded") << 1 << 9 << "2A 31 30 3C 32 21";
    QTest::newRow("output 3, input 12") << 11 << 2 << "2A 33 3C 31 32 21";
}

void TestRoutingWindow::switchCommand()
{
    QFETCH(int, inputRow);
    QFETCH(int, outputRow);
    QFETCH(QString, hex);

    probe->ui().lEdtOutputCount->setText("16");
    typeCount(probe->ui().lEdtInputCount, "16");
    probe->ui().tWidgetIn->setCurrentCell(inputRow, 0);
    probe->ui().tWidgetOut->setCurrentCell(outputRow, 1);

    MessageBoxRecorder boxes; // no link: the send routine warns, previews stay
    probe->ui().pBtnConnect->click();
    QCOMPARE(probe->ui().tEdtCurrentOutDataHEX->toPlainText(), hex);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("无法发送数据"));
}

void TestRoutingWindow::switchNeedsBothSelections_data()
{
    QTest::addColumn<int>("inputRow");
    QTest::addColumn<int>("outputRow");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("neither: the input is named first") << -1 << -1 << "未选择输入端"
                                                       << "请选择所需的输入端！";
    QTest::newRow("output only") << -1 << 2 << "未选择输入端"
                                 << "请选择所需的输入端！";
    QTest::newRow("input only") << 2 << -1 << "未选择输出端"
                                << "请选择所需的输出端！";
}

void TestRoutingWindow::switchNeedsBothSelections()
{
    QFETCH(int, inputRow);
    QFETCH(int, outputRow);
    QFETCH(QString, title);
    QFETCH(QString, text);

    probe->ui().lEdtOutputCount->setText("4");
    typeCount(probe->ui().lEdtInputCount, "4");
    if (inputRow >= 0)
        probe->ui().tWidgetIn->setCurrentCell(inputRow, 0);
    if (outputRow >= 0)
        probe->ui().tWidgetOut->setCurrentCell(outputRow, 0);

    MessageBoxRecorder boxes;
    probe->ui().pBtnConnect->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
    QCOMPARE(boxes.boxes().first().title, title);
    QCOMPARE(boxes.boxes().first().text, text);
    QVERIFY(probe->ui().tEdtCurrentOutDataHEX->toPlainText().isEmpty()); // nothing built
}

void TestRoutingWindow::deviceInformationFillsTheWindow()
{
    MessageBoxRecorder boxes;
    probe->parseStatusReply(QByteArray("B:\x04"
                                       "ABCDx08-16-PQRS"));

    QCOMPARE(probe->ui().cBoxDeviceNo->currentText(), QStringLiteral("B"));
    QCOMPARE(probe->ui().lEdtDeviceModel->text(), QStringLiteral("ABCDx08-16-PQRS"));
    QCOMPARE(probe->ui().lEdtInputCount->text(), QStringLiteral("8"));
    QCOMPARE(probe->ui().lEdtOutputCount->text(), QStringLiteral("16"));
    QCOMPARE(probe->ui().tWidgetIn->rowCount(), 8);
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 16);
    QCOMPARE(cell(probe->ui().tWidgetOut, 15, 0), QStringLiteral("输出16"));
    QCOMPARE(boxes.count(), 0);

    // A letter outside A..H leaves the device number as it was.
    probe->parseStatusReply(QByteArray("Z:\x04"
                                       "ABCDx08-16-PQRS"));
    QCOMPARE(probe->ui().cBoxDeviceNo->currentText(), QStringLiteral("B"));
    // The same reply with "!" appended is not device information at all.
    probe->parseStatusReply(QByteArray("C:\x04"
                                       "ABCDx02-03-PQRS!"));
    QCOMPARE(probe->ui().cBoxDeviceNo->currentText(), QStringLiteral("B"));
    QCOMPARE(probe->outputCount(), 16);
}

void TestRoutingWindow::unusableCountsLoadTheDefault()
{
    MessageBoxRecorder boxes;
    probe->parseStatusReply(QByteArray("B:\x04"
                                       "ABCDx00-16-PQRS"));

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Information);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("错误"));
    QCOMPARE(boxes.boxes().first().text,
             QStringLiteral("数据接收错误,请检查串口线或网络IP是否正常!\n加载默认配置文档"));
    QCOMPARE(probe->inputCount(), 72);
    QCOMPARE(probe->outputCount(), 72);
    QCOMPARE(probe->ui().lEdtInputCount->text(), QStringLiteral("72"));
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 72);
    QCOMPARE(probe->ui().tWidgetIn->rowCount(), 72);
    // Letter and model come from the reply all the same.
    QCOMPARE(probe->ui().cBoxDeviceNo->currentText(), QStringLiteral("B"));
    QCOMPARE(probe->ui().lEdtDeviceModel->text(), QStringLiteral("ABCDx00-16-PQRS"));
}

void TestRoutingWindow::defaultDoesNotOverwriteALaterReply()
{
    // A good reply parsed while the error box is still open wins: the
    // default is applied before the box, not after it.
    bool parsedDuringBox = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!parsedDuringBox && qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            parsedDuringBox = true;
            probe->parseStatusReply(QByteArray("A:\x04"
                                               "ABCDx04-06-PQRS"));
        }
    });
    poll.start(1);
    MessageBoxRecorder boxes;
    probe->parseStatusReply(QByteArray("A:\x04"
                                       "ABCDx00-00-PQRS"));

    QVERIFY(parsedDuringBox);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(probe->inputCount(), 4);
    QCOMPARE(probe->outputCount(), 6);
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 6);
    QCOMPARE(probe->ui().lEdtOutputCount->text(), QStringLiteral("6"));
}

void TestRoutingWindow::routingMapLabels_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QStringList>("column");

    QTest::newRow("plain labels and a device name")
        << QByteArray("A:03010204") << QStringList {"输入3:DVD", "输入1", "输入2", "输入4"};
    QTest::newRow("input 0 has no row: shown as its number")
        << QByteArray("A:00010203") << QStringList {"0", "输入1", "输入2", "输入3:DVD"};
    QTest::newRow("input beyond the inputs table: shown as its number")
        << QByteArray("A:99040404") << QStringList {"99", "输入4", "输入4", "输入4"};
}

void TestRoutingWindow::routingMapLabels()
{
    QFETCH(QByteArray, map);
    QFETCH(QStringList, column);

    probe->parseStatusReply(QByteArray("A:\x04"
                                       "ABCDx04-04-PQRS"));
    probe->ui().tWidgetIn->setItem(2, 1, new QTableWidgetItem("DVD"));
    probe->ui().tWidgetIn->setItem(3, 1, new QTableWidgetItem(""));

    probe->parseStatusReply(map);
    QStringList shown;
    for (int row = 0; row < 4; ++row)
        shown << cell(probe->ui().tWidgetOut, row, 2);
    QCOMPARE(shown, column);
    for (int j = 0; j < 4; ++j)
        QCOMPARE(probe->outputSource(j), map.mid(2 + 2 * j, 2).toInt());
}

void TestRoutingWindow::refusedMapChangesNothing()
{
    probe->parseStatusReply(QByteArray("A:\x04"
                                       "ABCDx04-04-PQRS"));
    probe->parseStatusReply("A:01020304");
    const QByteArray refused[] = {"A:0102030",
                                  "A:010203041",
                                  "A:01020304!",
                                  "A:01020304\r\n",
                                  "A;04030201",
                                  QByteArray("A:0\x00"
                                             "030201",
                                             10)};
    for (const QByteArray &map : refused)
        probe->parseStatusReply(map);
    for (int j = 0; j < 4; ++j) {
        QCOMPARE(probe->outputSource(j), j + 1);
        QCOMPARE(cell(probe->ui().tWidgetOut, j, 2), QStringLiteral("输入%1").arg(j + 1));
    }
}

void TestRoutingWindow::mapForShrunkTableIsHarmless()
{
    // The device still reports 4 outputs; the operator shows only 2.
    probe->parseStatusReply(QByteArray("A:\x04"
                                       "ABCDx04-04-PQRS"));
    typeCount(probe->ui().lEdtOutputCount, "2");
    probe->parseStatusReply("A:04030201");
    QCOMPARE(probe->ui().tWidgetOut->rowCount(), 2);
    QCOMPARE(cell(probe->ui().tWidgetOut, 1, 2), QStringLiteral("输入3"));
    QCOMPARE(probe->outputSource(3), 1);
}

QTEST_MAIN(TestRoutingWindow)
#include "tst_routingwindow.moc"
