#include "app/ctrlui.h"
#include "codec/codec.h"
#include "link/plainmessagebox.h"

#include <QMessageBox>

void ctrlUi::sendCommand(const QByteArray &command)
{
    // The previews come first, so they show the command even when no link
    // takes it. The text preview stops at the first zero byte; the hex
    // preview shows every byte. Both are plain text: setText would read a
    // typed command that looks like HTML as HTML, opening the files its
    // image tags name or laying out its nested tables before the command
    // leaves.
    const int zero = command.indexOf('\0');
    ui.tEdtCurrentOutDataASCII->setPlainText(
        QString::fromLatin1(zero < 0 ? command : command.left(zero)));
    ui.tEdtCurrentOutDataHEX->setPlainText(bytesToHexText(command));

    QIODevice *link = nullptr;
    if (serialPort.isOpen())
        link = &serialPort;
    else if (tcpClient.isOpen())
        link = &tcpClient;

    if (!link) {
        QMessageBox::warning(this, QStringLiteral("无法发送数据"),
                             QStringLiteral("无可用连接！请先打开串口或连接网络"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    // One write with every byte; nothing is added. A refused write is shown
    // rather than passed over: the operator would otherwise believe a
    // setting reached the device.
    if (link->write(command.constData(), command.size()) < 0) {
        showPlainTextBox(this, QMessageBox::Warning, QStringLiteral("发送失败"),
                         QStringLiteral("数据发送失败: %1").arg(link->errorString()));
    }
}

void ctrlUi::sendCommands(const QList<QByteArray> &commands)
{
    // Each line goes out on its own, even when an earlier one met no link:
    // the operator is told once per command.
    for (const QByteArray &command : commands)
        sendCommand(command);
}
