#include "app/ctrlui.h"

#include <QHeaderView>

void ctrlUi::setupRoutingTables()
{
    for (QTableWidget *table : {ui.tWidgetIn, ui.tWidgetOut}) {
        // Double-click only: a single click selects a row for switching, and
        // only column 1 (the operator's device names) is meant to be edited.
        table->setEditTriggers(QAbstractItemView::DoubleClicked);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->verticalHeader()->setVisible(false);
        table->horizontalHeader()->setVisible(true);
        table->verticalHeader()->setDefaultSectionSize(20);
    }
    setRoutingControlsEnabled(false);
}

void ctrlUi::setRoutingControlsEnabled(bool enabled)
{
    ui.tWidgetIn->setEnabled(enabled);
    ui.tWidgetOut->setEnabled(enabled);
    ui.pBtnRefresh->setEnabled(enabled);
    ui.pBtnConnect->setEnabled(enabled);
    ui.pBtnQueryReq->setEnabled(enabled);
    ui.lEdtInputCount->setEnabled(enabled);
    ui.lEdtOutputCount->setEnabled(enabled);
}

void ctrlUi::resizeRoutingTables(int inputs, int outputs)
{
    // Rows are added and removed at the end only, so the device names and
    // connection cells of the rows that remain survive.
    ui.tWidgetIn->setColumnCount(2);
    ui.tWidgetIn->setRowCount(inputs);
    ui.tWidgetIn->horizontalHeader()->setMouseTracking(false);
    ui.tWidgetIn->horizontalHeader()->resizeSection(0, 60);
    ui.tWidgetIn->horizontalHeader()->setStretchLastSection(true);

    ui.tWidgetOut->setColumnCount(3);
    ui.tWidgetOut->setRowCount(outputs);
    ui.tWidgetOut->horizontalHeader()->resizeSection(0, 60);
    ui.tWidgetOut->horizontalHeader()->setStretchLastSection(true);

    fillRoutingTableLabels();
}

void ctrlUi::fillRoutingTableLabels()
{
    const QStringList labels {tr("通道号"), tr("挂接设备名称"), tr("连接信息显示")};

    // The labelled rows follow the count boxes; both callers keep them equal
    // to the row counts. A row beyond the table is never written, since the
    // table would not take ownership of its item.
    ui.tWidgetIn->setHorizontalHeaderLabels(labels);
    for (int row = 0;
         row < ui.lEdtInputCount->text().toInt(nullptr, 10) && row < ui.tWidgetIn->rowCount();
         ++row) {
        ui.tWidgetIn->setItem(row, 0, new QTableWidgetItem(tr("输入") + QString::number(row + 1)));
    }

    ui.tWidgetOut->setHorizontalHeaderLabels(labels);
    for (int row = 0;
         row < ui.lEdtOutputCount->text().toInt(nullptr, 10) && row < ui.tWidgetOut->rowCount();
         ++row) {
        ui.tWidgetOut->setItem(row, 0, new QTableWidgetItem(tr("输出") + QString::number(row + 1)));
    }
}

void ctrlUi::lEdtInputCountEditingFinished()
{
    // Only the tables follow the boxes; the counts that a routing map is
    // checked against stay those the device reported.
    const int outputs = ui.lEdtOutputCount->text().toInt(nullptr, 10);
    const int inputs = ui.lEdtInputCount->text().toInt(nullptr, 10);
    resizeRoutingTables(inputs, outputs);
}

void ctrlUi::tWidgetInCurrentCellChanged(int currentRow)
{
    if (ui.tWidgetIn->currentRow() == -1)
        return;
    ui.lEdtCurrentIn->setText(QString::number(currentRow + 1));
}

void ctrlUi::tWidgetOutCurrentCellChanged(int currentRow)
{
    if (ui.tWidgetOut->currentRow() == -1)
        return;
    ui.lEdtCurrentOut->setText(QString::number(currentRow + 1));
}
