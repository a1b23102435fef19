#include "app/ctrlui.h"
#include "commands/builders.h"

#include <QMessageBox>

// Plans, port count, free command and the reply log's clear button on the
// "其他控制" tab, and the wall split of the output card tab.

void ctrlUi::carryOut(const commands::CommandPlan &plan)
{
    // A refusal carries no commands; a silent one (plan numbers) shows
    // nothing either.
    if (!plan.refusal.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("错误"), plan.refusal, QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    sendCommands(plan.commands);
}

void ctrlUi::on_pushButton_clicked()
{
    // Only the reply log: the previews keep showing the last command.
    ui.tEdtCurrentDataRES->clear();
}

void ctrlUi::on_savePlanPushButton_clicked()
{
    carryOut(commands::plan(commands::PlanAction::Save, ui.savePlanText->text()));
}

void ctrlUi::on_loadPushButton_clicked()
{
    carryOut(commands::plan(commands::PlanAction::Recall, ui.loadPlanText->text()));
}

void ctrlUi::on_changePortNumButton_clicked()
{
    carryOut(commands::portCount(ui.changeInPortNum->text(), ui.changeOutPortNum->text()));
}

void ctrlUi::on_otherSendButton_clicked()
{
    carryOut(commands::freeCommand(ui.otherTextSend->text()));
}

void ctrlUi::on_wallButton_clicked()
{
    carryOut(commands::wallSplit(ui.wallPort->text(), ui.wallHtotal->currentText(),
                                 ui.wallVtotal->currentText(), ui.wallHnum->currentText(),
                                 ui.wallVnum->currentText()));
}
