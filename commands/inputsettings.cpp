#include "app/ctrlui.h"
#include "commands/builders.h"

// Input card tab: resolution, signal source and image adjustment.

void ctrlUi::on_inResPushButton_clicked()
{
    carryOut(commands::inputResolution(ui.inResLineEdit->text(), ui.inResComboBox->currentIndex()));
}

void ctrlUi::on_inSrcPushButton_clicked()
{
    carryOut(commands::inputSource(ui.inSrcLineEdit->text(), ui.inSrcComboBox->currentIndex()));
}

void ctrlUi::on_inBrightnessButton_clicked()
{
    carryOut(commands::inputBrightness(ui.inImagePort->text(), ui.inBrightness->text()));
}
