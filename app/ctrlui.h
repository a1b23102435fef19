#ifndef APP_CTRLUI_H
#define APP_CTRLUI_H

#include "ui_ctrlform.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>

namespace commands {
struct CommandPlan;
}

// The console's one window. It owns the form, both device links and the
// serial receive timer; every slot of the program is a member of this class.
// The members are spread over the source folders by subject:
//   app/      construction and destruction
//   link/     sending, serial link, TCP client link, reception, mode switch
//   matrix/   routing tables, switching commands, applying replies
//   commands/ the settings tabs
class ctrlUi : public QWidget
{
    Q_OBJECT

public:
    explicit ctrlUi(QWidget *parent = nullptr);
    ~ctrlUi() override;

private slots:
    // The order of these slots is part of the window's meta-object surface;
    // keep new slots out of this list.
    void pBtnOpenCOMclicked();
    void serialDataReadyRead();
    void pBtnCommunicationConnectClicked();
    void displayError(QAbstractSocket::SocketError socketError);
    void TCPclientConnected();
    void lEdtInputCountEditingFinished();
    void sWidgetCommunicationCurrentChanged(int index);
    void readOutRecvData();
    void pBtnRefreshClicked();
    void pBtnConnectClicked();
    void pBtnQueryReqClicked();
    void tWidgetOutCurrentCellChanged(int currentRow);
    void tWidgetInCurrentCellChanged(int currentRow);
    void on_pushButton_clicked();
    void on_savePlanPushButton_clicked();
    void on_loadPushButton_clicked();
    void on_outResPushButton_clicked();
    void on_inResPushButton_clicked();
    void on_outModePushButton_clicked();
    void on_inSrcPushButton_clicked();
    void on_inEdidComboBox_currentIndexChanged(const QString &arg1);
    void on_inEdidPushButton_clicked();
    void on_changePortNumButton_clicked();
    void on_otherSendButton_clicked();
    void on_wallButton_clicked();
    void on_inBrightnessButton_clicked();
    void on_outBrightnessButton_clicked();
    void on_outSeamlessButton_clicked();
    void on_notSeamlessButton_clicked();
    void on_outResOpenButton_clicked();
    void on_outResCloseButton_clicked();
    void on_outResNoneButton_clicked();

private:
    // link/sendcommand.cpp
    void sendCommand(const QByteArray &command);
    void sendCommands(const QList<QByteArray> &commands);

    // link/seriallink.cpp
    void fillBaudRateList();
    void refreshSerialPortList();
    bool openSerialPort();
    void closeSerialPort();
    void serialPortErrorOccurred(QSerialPort::SerialPortError error);

    // link/tcpclientlink.cpp
    void disconnectTcpClient();

    // link/reception.cpp
    void appendToReplyLog(const QString &text);
    void drainReplyLog();
    void clearReplyLog();

    // matrix/routingtables.cpp
    void setupRoutingTables();
    void setRoutingControlsEnabled(bool enabled);
    void resizeRoutingTables(int inputs, int outputs);
    void fillRoutingTableLabels();

    // matrix/statusreply.cpp
    void parseStatusReply(const QByteArray &chunk);
    void showOutputSource(int input, int output);

    // commands/: shows a refusal in the "错误" box, or sends the lines.
    void carryOut(const commands::CommandPlan &plan);

    Ui_ctrlForm ui;
    int inputCount = 0;
    int outputCount = 0;
    int outputSource[256] = {};
    QSerialPort serialPort;
    QTimer recvTimer;
    QTcpSocket tcpClient;
    // Pieces of long readings that wait for their turn in the reply log.
    QStringList replyLogBacklog;
    QTimer replyLogTimer;

    // Lets the tests reach the private operations above without widening
    // the window's public surface.
    friend class CtrlUiProbe;
};

#endif // APP_CTRLUI_H
