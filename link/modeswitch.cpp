#include "app/ctrlui.h"

void ctrlUi::sWidgetCommunicationCurrentChanged(int index)
{
    // At most one link is in use: choosing a mode closes the other one,
    // silently, and leaves the new one for the operator to open.
    ui.sWidgetCommunication->setCurrentIndex(index);
    if (index == 0 && tcpClient.isOpen())
        disconnectTcpClient();
    else if (index == 1 && serialPort.isOpen())
        closeSerialPort();

    if (recvTimer.isActive())
        recvTimer.stop();
    setRoutingControlsEnabled(false);
}
