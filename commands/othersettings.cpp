#include "app/ctrlui.h"
#include "commands/builders.h"

#include <QMessageBox>

// Plans, port count, free command and the reply log's clear button on the
// "其他控制" tab, and the wall split of the output card tab.

namespace {
// The window's sentence for each number test; plan numbers are refused
// without a word.
QString refusalMessage(commands::NumberTest test)
{
    switch (test) {
    case commands::NumberTest::StrictPort:
        return QStringLiteral("请输入正确的输入端口号!");
    case commands::NumberTest::RangePort:
        return QStringLiteral("请输入正确的输入输出端口号!");
    case commands::NumberTest::MonitorPort:
        return QStringLiteral("请输入正确的显示器端口号!");
    case commands::NumberTest::Brightness:
        return QStringLiteral("请输入正确的亮度值!");
    case commands::NumberTest::PlanNumber:
    case commands::NumberTest::RoutePort: // never applied by the window
        break;
    }
    return QString();
}
} // namespace

void ctrlUi::carryOut(const commands::CommandPlan &plan)
{
    if (plan.refusal) {
        const QString message = refusalMessage(plan.refusal->test);
        if (!message.isEmpty()) {
            QMessageBox::warning(this, QStringLiteral("错误"), message, QMessageBox::Ok,
                                 QMessageBox::NoButton);
        }
        return;
    }
    sendCommands(plan.commands);
}

void ctrlUi::on_pushButton_clicked()
{
    // Only the reply log: the previews keep showing the last command.
    clearReplyLog();
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
