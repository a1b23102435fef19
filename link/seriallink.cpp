#include "app/ctrlui.h"
#include "commands/builders.h"
#include "link/plainmessagebox.h"
#include "link/serialportscan.h"

#include <QMessageBox>

void ctrlUi::fillBaudRateList()
{
    const QStringList rates {
        QStringLiteral("50"),    QStringLiteral("75"),     QStringLiteral("100"),
        QStringLiteral("134"),   QStringLiteral("150"),    QStringLiteral("200"),
        QStringLiteral("300"),   QStringLiteral("600"),    QStringLiteral("1200"),
        QStringLiteral("1800"),  QStringLiteral("2400"),   QStringLiteral("4800"),
        QStringLiteral("9600"),  QStringLiteral("14400"),  QStringLiteral("19200"),
        QStringLiteral("38400"), QStringLiteral("56000"),  QStringLiteral("57600"),
        QStringLiteral("76800"), QStringLiteral("115200"), QStringLiteral("128000"),
        QStringLiteral("256000")};
    ui.cBoxCOMbaudrate->addItems(rates);
    ui.cBoxCOMbaudrate->setCurrentIndex(ui.cBoxCOMbaudrate->findText(QStringLiteral("9600")));
}

void ctrlUi::refreshSerialPortList()
{
    ui.pBtnOpenCOM->setText(QStringLiteral("打开串口"));
    ui.cBoxCOMn->clear();

    // Only ports that can be opened right now are offered; at start-up the
    // list comes from the scan that main started on a worker thread.
    for (const QString &name : takeSerialPortScan())
        ui.cBoxCOMn->addItem(name);

    if (ui.cBoxCOMn->count() == 0)
        ui.pBtnOpenCOM->setText(QStringLiteral("无可用串口"));
}

bool ctrlUi::openSerialPort()
{
    serialPort.setPortName(ui.cBoxCOMn->currentText());
    if (!serialPort.open(QIODevice::ReadWrite)) {
        QMessageBox::warning(this, QStringLiteral("打开串口失败"),
                             QStringLiteral("打开串口失败,请检查串口是否被占用或多次打开了本程序!"),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return false;
    }

    serialPort.setBaudRate(ui.cBoxCOMbaudrate->currentText().toInt(nullptr, 10),
                           QSerialPort::AllDirections);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);
    serialPort.clear(QSerialPort::AllDirections);

    setRoutingControlsEnabled(true);
    return true;
}

void ctrlUi::closeSerialPort()
{
    serialPort.close();
    // A delay still running would otherwise fire after a reopen and read
    // whatever the new line has brought, or an empty chunk.
    recvTimer.stop();
    refreshSerialPortList();
    disconnect(&serialPort, SIGNAL(readyRead()), this, SLOT(serialDataReadyRead()));
    disconnect(&recvTimer, SIGNAL(timeout()), this, SLOT(readOutRecvData()));
}

void ctrlUi::serialPortErrorOccurred(QSerialPort::SerialPortError error)
{
    // Opening reports NoError, and a failed open is reported by
    // openSerialPort itself. A line that fails while open (adapter pulled,
    // far end gone) keeps signalling in a busy loop until the port is
    // closed, so close first and tell the operator once.
    if (!serialPort.isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError
        && error != QSerialPort::WriteError) {
        return;
    }

    const QString reason = serialPort.errorString();
    closeSerialPort();
    showPlainTextBox(this, QMessageBox::Warning, QStringLiteral("串口错误"),
                     QStringLiteral("串口连接已断开: %1").arg(reason));
}

void ctrlUi::pBtnOpenCOMclicked()
{
    if (serialPort.isOpen()) {
        closeSerialPort();
        return;
    }
    if (!openSerialPort())
        return;

    ui.pBtnOpenCOM->setText(QStringLiteral("关闭串口"));
    connect(&serialPort, SIGNAL(readyRead()), this, SLOT(serialDataReadyRead()));
    connect(&recvTimer, SIGNAL(timeout()), this, SLOT(readOutRecvData()));
    sendCommand(commands::refreshCommand());
}
