#ifndef TESTS_SUPPORT_CTRLUIPROBE_H
#define TESTS_SUPPORT_CTRLUIPROBE_H

#include "app/ctrlui.h"

#include <QTest>

// Gives the tests the window's private members without widening its public
// surface (the window befriends this class).
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
    int outputCount() const { return w.outputCount; }
    int outputSource(int index) const { return w.outputSource[index]; }
    void sendCommand(const QByteArray &command) { w.sendCommand(command); }
    void parseStatusReply(const QByteArray &chunk) { w.parseStatusReply(chunk); }
    void setRoutingControlsEnabled(bool enabled) { w.setRoutingControlsEnabled(enabled); }
    QString log() { return w.ui.tEdtCurrentDataRES->toPlainText(); }

    // TCP client mode, a loopback endpoint, "连接矩阵"; connectTcp waits
    // until the button reads "已连接矩阵".
    void startTcp(quint16 port)
    {
        ui().cBoxCommunicationSet->setCurrentIndex(1);
        ui().lEdtCommunicationIPset->setText(QStringLiteral("127.0.0.1"));
        ui().lEdtCommunicationPort->setText(QString::number(port));
        ui().pBtnCommunicationConnect->click();
    }
    bool connectTcp(quint16 port, int timeoutMs = 5000)
    {
        startTcp(port);
        return QTest::qWaitFor(
            [&] { return ui().pBtnCommunicationConnect->text() == "已连接矩阵"; }, timeoutMs);
    }
    // Serial mode, the pty listed and chosen, "打开串口": true once open.
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

#endif // TESTS_SUPPORT_CTRLUIPROBE_H
