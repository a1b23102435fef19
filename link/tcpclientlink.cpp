#include "app/ctrlui.h"
#include "codec/codec.h"
#include "commands/builders.h"
#include "link/plainmessagebox.h"

#include <QMessageBox>

namespace {
// A port typed as plain digits within 1..65535, or 0 when it is not one.
// Anything else would silently wrap or become port 0.
quint16 tcpPortFromText(const QString &text)
{
    if (text.isEmpty() || !isAllDigits(text))
        return 0;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok && value >= 1 && value <= 65535 ? quint16(value) : 0;
}
} // namespace

void ctrlUi::pBtnCommunicationConnectClicked()
{
    if (tcpClient.isOpen()) {
        disconnectTcpClient();
        return;
    }

    const quint16 port = tcpPortFromText(ui.lEdtCommunicationPort->text());
    if (port == 0) {
        QMessageBox::warning(this, tr("网络"), tr("请输入正确的端口号!"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    ui.pBtnCommunicationConnect->setText(QStringLiteral("连接中..."));
    ui.pBtnCommunicationConnect->setEnabled(false);
    ui.cBoxCommunicationSet->setEnabled(false);

    connect(&tcpClient, SIGNAL(connected()), this, SLOT(TCPclientConnected()));
    connect(&tcpClient, SIGNAL(error(QAbstractSocket::SocketError)), this,
            SLOT(displayError(QAbstractSocket::SocketError)));

    // A connection closed a moment ago may still be flushing its last
    // command; a new attempt on top of it would be ignored by the socket and
    // leave the button stuck on "连接中...".
    if (tcpClient.state() != QAbstractSocket::UnconnectedState)
        tcpClient.abort();
    tcpClient.connectToHost(ui.lEdtCommunicationIPset->text(), port, QIODevice::ReadWrite,
                            QAbstractSocket::AnyIPProtocol);
}

void ctrlUi::TCPclientConnected()
{
    connect(&tcpClient, SIGNAL(readyRead()), this, SLOT(readOutRecvData()));
    ui.pBtnCommunicationConnect->setEnabled(true);
    ui.pBtnCommunicationConnect->setText(QStringLiteral("已连接矩阵"));
    ui.cBoxCommunicationSet->setEnabled(true);
    setRoutingControlsEnabled(true);
    sendCommand(commands::refreshCommand());
}

void ctrlUi::displayError(QAbstractSocket::SocketError socketError)
{
    // A connection closed by the device is reported like any other failure:
    // keeping "已连接矩阵" while commands vanish would tell the operator the
    // opposite of the truth.
    Q_UNUSED(socketError)

    // One failure is handled once. The box below runs its own event loop; a
    // socket still open and still wired there retries the bytes it holds
    // (a command typed while connecting, say), fails again and lands here
    // again, box inside box until the stack runs out. So the link is shut
    // and unwired first; an error that comes after that finds no slot.
    const QString reason = tcpClient.errorString();
    disconnect(&tcpClient, SIGNAL(connected()), this, SLOT(TCPclientConnected()));
    disconnect(&tcpClient, SIGNAL(error(QAbstractSocket::SocketError)), this,
               SLOT(displayError(QAbstractSocket::SocketError)));
    disconnect(&tcpClient, SIGNAL(readyRead()), this, SLOT(readOutRecvData()));
    // abort() drops what never left; after a failed attempt the socket is
    // already unconnected, so abort() leaves it open and close() is needed
    // for the next click to start a new attempt.
    tcpClient.abort();
    tcpClient.close();

    showPlainTextBox(this, QMessageBox::Information, tr("网络"),
                     tr("产生如下错误: %1.").arg(reason));

    ui.pBtnCommunicationConnect->setEnabled(true);
    ui.pBtnCommunicationConnect->setText(QStringLiteral("连接矩阵"));
    ui.cBoxCommunicationSet->setEnabled(true);
}

void ctrlUi::disconnectTcpClient()
{
    tcpClient.close();
    disconnect(&tcpClient, SIGNAL(connected()), this, SLOT(TCPclientConnected()));
    disconnect(&tcpClient, SIGNAL(error(QAbstractSocket::SocketError)), this,
               SLOT(displayError(QAbstractSocket::SocketError)));
    disconnect(&tcpClient, SIGNAL(readyRead()), this, SLOT(readOutRecvData()));
    ui.pBtnCommunicationConnect->setText(QStringLiteral("连接矩阵"));
}
