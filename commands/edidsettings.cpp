#include "app/ctrlui.h"
#include "commands/builders.h"

// EDID sub-tab of the input card tab.

void ctrlUi::on_inEdidComboBox_currentIndexChanged(const QString &arg1)
{
    // The monitor port means something only when a monitor's EDID is
    // copied; the field keeps its text while disabled.
    const bool enabled = commands::edidMonitorFieldsEnabled(arg1);
    ui.outEdidText->setEnabled(enabled);
    ui.outEdidlineEdit->setEnabled(enabled);
}

void ctrlUi::on_inEdidPushButton_clicked()
{
    carryOut(commands::edid(ui.inEdidLineEdit->text(), ui.inEdidComboBox->currentIndex(),
                            ui.outEdidlineEdit->text()));
}
