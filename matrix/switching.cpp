#include "app/ctrlui.h"
#include "commands/builders.h"

#include <QMessageBox>

void ctrlUi::pBtnRefreshClicked()
{
    sendCommand(commands::refreshCommand());
}

void ctrlUi::pBtnQueryReqClicked()
{
    sendCommand(commands::queryCommand());
}

void ctrlUi::pBtnConnectClicked()
{
    // The selection boxes keep their last number when a rebuild leaves a
    // table without a current row, so the tables themselves are asked.
    if (ui.tWidgetIn->currentRow() == -1) {
        QMessageBox::warning(this, tr("未选择输入端"), tr("请选择所需的输入端！"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    if (ui.tWidgetOut->currentRow() == -1) {
        QMessageBox::warning(this, tr("未选择输出端"), tr("请选择所需的输出端！"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    sendCommand(commands::switchCommand(ui.lEdtCurrentOut->text(), ui.lEdtCurrentIn->text()));
}
