#include "app/ctrlui.h"

void ctrlUi::serialDataReadyRead()
{
    // A serial reply trickles in; gather everything that arrives within
    // 500 ms of the first byte into one chunk. Later arrivals do not
    // lengthen the delay.
    if (!recvTimer.isActive())
        recvTimer.start(500);
}

void ctrlUi::readOutRecvData()
{
    if (recvTimer.isActive())
        recvTimer.stop();

    QByteArray chunk;
    switch (ui.sWidgetCommunication->currentIndex()) {
    case 0:
        chunk = serialPort.readAll();
        break;
    case 1:
        chunk = tcpClient.readAll();
        break;
    default:
        break;
    }

    const int zero = chunk.indexOf('\0');
    ui.tEdtCurrentDataRES->append(QString::fromUtf8(zero < 0 ? chunk : chunk.left(zero)));
    parseStatusReply(chunk);
}
