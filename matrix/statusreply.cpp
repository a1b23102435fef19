#include "app/ctrlui.h"
#include "matrix/replydecoder.h"

#include <QMessageBox>

#include <iterator>

namespace {
// Applied when the device's information carries unusable port counts.
constexpr int defaultPortCount = 72;
} // namespace

void ctrlUi::parseStatusReply(const QByteArray &chunk)
{
    const StatusReply reply = decodeStatusReply(chunk, outputCount);

    switch (reply.kind) {
    case StatusReply::Ignored:
        return;

    case StatusReply::DeviceInformation: {
        // Letter and model are shown even when the counts are refused.
        const int letter = ui.cBoxDeviceNo->findText(reply.deviceLetter);
        if (letter >= 0)
            ui.cBoxDeviceNo->setCurrentIndex(letter);
        ui.lEdtDeviceModel->setText(reply.model);

        const bool accepted = reply.countsAccepted;
        inputCount = accepted ? reply.inputs : defaultPortCount;
        outputCount = accepted ? reply.outputs : defaultPortCount;
        ui.lEdtInputCount->setText(QString::number(inputCount));
        ui.lEdtOutputCount->setText(QString::number(outputCount));
        resizeRoutingTables(inputCount, outputCount);

        // The default configuration is in place before the box opens: a
        // reply read while the operator looks at it must not be overwritten
        // when the box closes.
        if (!accepted) {
            QMessageBox::information(
                this, tr("错误"),
                tr("数据接收错误,请检查串口线或网络IP是否正常!\n加载默认配置文档"), QMessageBox::Ok,
                QMessageBox::NoButton);
        }
        return;
    }

    case StatusReply::RoutingMap: {
        // The decoder hands over exactly outputCount entries, and
        // outputCount never exceeds 255.
        const int entries = qMin(reply.sources.size(), int(std::size(outputSource)));
        for (int j = 0; j < entries; ++j) {
            outputSource[j] = reply.sources.at(j);
            showOutputSource(reply.sources.at(j), j + 1);
        }
        return;
    }
    }
}

void ctrlUi::showOutputSource(int input, int output)
{
    const int inputRow = input - 1;
    const int outputRow = output - 1;
    if (outputRow < 0 || outputRow >= ui.tWidgetOut->rowCount())
        return; // the operator has shrunk the outputs table below this output

    // An input without a labelled row (0, or beyond the table) is shown as
    // its plain number rather than left looking like the old route.
    QString label = QString::number(input);
    if (inputRow >= 0 && inputRow < ui.tWidgetIn->rowCount()) {
        if (const QTableWidgetItem *name = ui.tWidgetIn->item(inputRow, 0)) {
            label = name->text();
            const QTableWidgetItem *device = ui.tWidgetIn->item(inputRow, 1);
            if (device && device->text() != tr(""))
                label += QLatin1Char(':') + device->text();
        }
    }
    ui.tWidgetOut->setItem(outputRow, 2, new QTableWidgetItem(label));
}
