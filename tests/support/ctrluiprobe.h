#ifndef CTRLUIPROBE_H
#define CTRLUIPROBE_H

#include "app/ctrlui.h"

#include <QComboBox>
#include <QHostAddress>
#include <QPushButton>
#include <QTest>

// Gives the tests the window's private operations and members without
// widening the window's public surface (the window befriends this class).
class CtrlUiProbe
{
public:
    explicit CtrlUiProbe(ctrlUi &window)
        : w(window)
    { }

    Ui_ctrlForm &ui() { return w.ui; }
    QSerialPort &serialPort() { return w.serialPort; }
    QTcpSocket &tcpClient() { return w.tcpClient; }
    QTimer &recvTimer() { return w.recvTimer; }

    int inputCount() const { return w.inputCount; }
    int outputCount() const { return w.outputCount; }
    int outputSource(int index) const { return w.outputSource[index]; }

    void sendCommand(const QByteArray &command) { w.sendCommand(command); }
    void parseStatusReply(const QByteArray &chunk) { w.parseStatusReply(chunk); }
    void setRoutingControlsEnabled(bool enabled) { w.setRoutingControlsEnabled(enabled); }

    // Chooses the TCP client mode, types a loopback endpoint and clicks
    // "连接矩阵"; true once the button reads "已连接矩阵".
    bool connectTcp(quint16 port, int timeoutMs = 5000)
    {
        ui().cBoxCommunicationSet->setCurrentIndex(1);
        ui().lEdtCommunicationIPset->setText(QStringLiteral("127.0.0.1"));
        ui().lEdtCommunicationPort->setText(QString::number(port));
        ui().pBtnCommunicationConnect->click();
        return QTest::qWaitFor(
            [this] {
                return ui().pBtnCommunicationConnect->text() == QStringLiteral("已连接矩阵");
            },
            timeoutMs);
    }

    // Lists a pseudo-terminal among the serial ports, selects it and clicks
    // "打开串口"; true once the port is open.
    bool openSerial(const QString &path)
    {
        ui().cBoxCommunicationSet->setCurrentIndex(0);
        if (ui().cBoxCOMn->findText(path) < 0)
            ui().cBoxCOMn->addItem(path);
        ui().cBoxCOMn->setCurrentText(path);
        ui().pBtnOpenCOM->click();
        return w.serialPort.isOpen();
    }

private:
    ctrlUi &w;
};

#endif // CTRLUIPROBE_H
