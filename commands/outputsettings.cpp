#include "app/ctrlui.h"
#include "commands/builders.h"

// Output card tab: resolution, output mode and image adjustment. The slots
// only read the fields at the moment of the click; the rules live in the
// builders.

using commands::OutputImageButton;

void ctrlUi::on_outResPushButton_clicked()
{
    carryOut(
        commands::outputResolution(ui.outResLineEdit->text(), ui.outResComboBox->currentIndex()));
}

void ctrlUi::on_outModePushButton_clicked()
{
    carryOut(commands::outputMode(ui.outModeLineEdit->text(), ui.outModeComboBox->currentIndex()));
}

void ctrlUi::on_outBrightnessButton_clicked()
{
    carryOut(commands::outputBrightness(ui.outImagePort->text(), ui.outBrightness->text()));
}

// The five fixed-setting buttons share the port field of the image tab.
void ctrlUi::on_outSeamlessButton_clicked()
{
    carryOut(commands::outputImageButton(ui.outImagePort->text(), OutputImageButton::Seamless));
}

void ctrlUi::on_notSeamlessButton_clicked()
{
    carryOut(commands::outputImageButton(ui.outImagePort->text(), OutputImageButton::NotSeamless));
}

void ctrlUi::on_outResOpenButton_clicked()
{
    carryOut(commands::outputImageButton(ui.outImagePort->text(), OutputImageButton::DriveOn));
}

void ctrlUi::on_outResCloseButton_clicked()
{
    carryOut(commands::outputImageButton(ui.outImagePort->text(), OutputImageButton::DriveOff));
}

void ctrlUi::on_outResNoneButton_clicked()
{
    carryOut(commands::outputImageButton(ui.outImagePort->text(), OutputImageButton::DriveDefault));
}
