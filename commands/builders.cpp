#include "commands/builders.h"

#include "codec/codec.h"

namespace commands {

namespace {

constexpr int minPort = 1;
constexpr int maxPort = 72;
constexpr int minBrightness = 10;
constexpr int maxBrightness = 200;
constexpr int minPlan = 1;
constexpr int maxPlan = 30;

// Outputs share the code-command address space with inputs; they start
// above the highest input.
constexpr int outputAddressOffset = 64;

int valueOf(const QString &text)
{
    return text.toInt(nullptr, 10);
}

// Digits first, then the lower bound, then the upper bound. The message is
// the same for every step of one test.
bool acceptsNumber(const QString &text, int min, int max)
{
    if (!isAllDigits(text))
        return false;
    const int value = valueOf(text);
    if (value < min)
        return false;
    if (value > max)
        return false;
    return true;
}

QString refusalUnless(bool accepted, const char *message)
{
    return accepted ? QString() : QString::fromUtf8(message);
}

CommandPlan refused(const QString &message)
{
    CommandPlan plan;
    plan.refusal = message;
    return plan;
}

CommandPlan send(QList<QByteArray> commands)
{
    CommandPlan plan;
    plan.commands = std::move(commands);
    return plan;
}

QByteArray bytes(const QString &text)
{
    return text.toLatin1();
}

QByteArray outputAddress(const QString &port)
{
    return QByteArray::number(valueOf(port) + outputAddressOffset, 10);
}

QByteArray outputCodeCommand(const QString &port, const char *codeTail)
{
    return "*@" + outputAddress(port) + codeTail;
}

QByteArray outputCardCommand(const QString &port, const QByteArray &tail)
{
    return "*>O" + bytes(port) + tail;
}

// An output setting: its code command, when it has one, goes first.
CommandPlan outputSetting(const QString &port, const char *codeTail, const char *cardTail)
{
    QList<QByteArray> commands;
    if (codeTail)
        commands << outputCodeCommand(port, codeTail);
    commands << outputCardCommand(port, cardTail);
    return send(commands);
}

QByteArray inputCodeCommand(const QString &port, const char *codeTail)
{
    return "*@" + bytes(port) + codeTail;
}

QByteArray inputCardCommand(const QString &port, const QByteArray &tail)
{
    return "*>I" + bytes(port) + tail;
}

QByteArray brightnessTail(const QString &brightness)
{
    return " SETLD " + bytes(brightness) + " END!";
}

} // namespace

QString strictPortRefusal(const QString &text)
{
    return refusalUnless(acceptsNumber(text, minPort, maxPort), "请输入正确的输入端口号!");
}

QString rangePortRefusal(const QString &text)
{
    return refusalUnless(acceptsNumber(text, minPort, maxPort), "请输入正确的输入输出端口号!");
}

QString monitorPortRefusal(const QString &text)
{
    return refusalUnless(acceptsNumber(text, minPort, maxPort), "请输入正确的显示器端口号!");
}

QString brightnessRefusal(const QString &text)
{
    return refusalUnless(acceptsNumber(text, minBrightness, maxBrightness), "请输入正确的亮度值!");
}

bool planNumberAccepted(const QString &text)
{
    return acceptsNumber(text, minPlan, maxPlan);
}

CommandPlan outputResolution(const QString &port, int index)
{
    const QString refusal = strictPortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    const OutputResolutionRow *row = rowAt(outputResolutions, index);
    if (!row)
        return {};
    return send({outputCodeCommand(port, row->codeTail), outputCardCommand(port, row->cardTail)});
}

CommandPlan outputMode(const QString &port, int index)
{
    const QString refusal = strictPortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    const OutputModeRow *row = rowAt(outputModes, index);
    if (!row)
        return {};
    return outputSetting(port, row->codeTail, row->cardTail);
}

CommandPlan outputBrightness(const QString &port, const QString &brightness)
{
    // The brightness is judged first: with both fields wrong the operator
    // hears about the brightness.
    QString refusal = brightnessRefusal(brightness);
    if (refusal.isEmpty())
        refusal = rangePortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    return send({outputCardCommand(port, brightnessTail(brightness))});
}

CommandPlan outputImageButton(const QString &port, OutputImageButton button)
{
    const QString refusal = rangePortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    for (const OutputImageButtonRow &row : outputImageButtons) {
        if (row.button != button)
            continue;
        return outputSetting(port, row.codeTail, row.cardTail);
    }
    return {};
}

CommandPlan inputResolution(const QString &port, int index)
{
    const QString refusal = strictPortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    const InputResolutionRow *row = rowAt(inputResolutions, index);
    if (!row)
        return {};
    QList<QByteArray> commands;
    if (row->outresTail)
        commands << inputCardCommand(port, row->outresTail);
    commands << inputCardCommand(port, row->cardTail);
    return send(commands);
}

CommandPlan inputSource(const QString &port, int index)
{
    const QString refusal = strictPortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    const InputSourceRow *row = rowAt(inputSources, index);
    if (!row)
        return {};
    return send({inputCodeCommand(port, row->codeTail), inputCardCommand(port, row->cardTail)});
}

CommandPlan inputBrightness(const QString &port, const QString &brightness)
{
    QString refusal = brightnessRefusal(brightness);
    if (refusal.isEmpty())
        refusal = rangePortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    return send({inputCardCommand(port, brightnessTail(brightness))});
}

CommandPlan edid(const QString &input, int index, const QString &monitor)
{
    const QString refusal = strictPortRefusal(input);
    if (!refusal.isEmpty())
        return refused(refusal);
    const EdidModeRow *row = rowAt(edidModes, index);
    if (!row)
        return {};
    if (!row->presetTail) {
        // Copy mode: the monitor field matters only here.
        const QString monitorRefusal = monitorPortRefusal(monitor);
        if (!monitorRefusal.isEmpty())
            return refused(monitorRefusal);
        // The copy command runs the two numbers together; the device
        // command that follows names the monitor first.
        return send({"*E" + bytes(input) + bytes(monitor) + "!",
                     "*:" + bytes(monitor) + " CPEDID " + bytes(input) + "!"});
    }
    return send({"*S" + bytes(input) + row->presetTail, inputCardCommand(input, row->cardTail)});
}

bool edidMonitorFieldsEnabled(const QString &itemText)
{
    const EdidModeRow &copyRow = edidModes[0];
    return itemText == QString::fromUtf8(copyRow.item);
}

CommandPlan plan(PlanAction action, const QString &number)
{
    if (!planNumberAccepted(number)) {
        CommandPlan silent;
        silent.silent = true;
        return silent;
    }
    const char *head = action == PlanAction::Save ? "*: SAVEPLAN " : "*: CALLPLAN ";
    return send({head + bytes(number) + "!"});
}

CommandPlan portCount(const QString &inputs, const QString &outputs)
{
    QString refusal = rangePortRefusal(inputs);
    if (refusal.isEmpty())
        refusal = rangePortRefusal(outputs);
    if (!refusal.isEmpty())
        return refused(refusal);
    // The device wants the output count first.
    return send({"*:" + bytes(outputs) + " CHANGEPORTNUMBER " + bytes(inputs) + "!"});
}

CommandPlan wallSplit(const QString &port, const QString &across, const QString &down,
                      const QString &column, const QString &row)
{
    const QString refusal = rangePortRefusal(port);
    if (!refusal.isEmpty())
        return refused(refusal);
    return send({"*>O" + bytes(port) + " OUTSPLIT " + bytes(across) + " " + bytes(down) + " "
                 + bytes(column) + " " + bytes(row) + " END!"});
}

CommandPlan freeCommand(const QString &text)
{
    // Sent exactly as typed: the operator writes the whole frame.
    return send({text.toUtf8()});
}

} // namespace commands
