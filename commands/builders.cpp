#include "commands/builders.h"

#include "codec/codec.h"

namespace commands {

namespace {

struct Bounds
{
    int minimum;
    int maximum;
};

Bounds boundsOf(NumberTest test)
{
    switch (test) {
    case NumberTest::StrictPort:
    case NumberTest::RangePort:
    case NumberTest::MonitorPort:
        return {1, 72};
    case NumberTest::Brightness:
        return {10, 200};
    case NumberTest::PlanNumber:
        return {1, 30};
    case NumberTest::RoutePort:
        return {1, 99};
    }
    return {1, 0};
}

// Outputs share the code-command address space with inputs; they start
// above the highest input.
constexpr int outputAddressOffset = 64;

int valueOf(const QString &text)
{
    return text.toInt(nullptr, 10);
}

CommandPlan refused(const Refusal &refusal)
{
    CommandPlan plan;
    plan.refusal = refusal;
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

std::optional<Refusal> checkNumber(NumberTest test, Field field, const QString &text)
{
    const Bounds bounds = boundsOf(test);
    Refusal refusal {test, Refusal::NotPlainDigits, field, text, bounds.minimum, bounds.maximum};
    if (!isAllDigits(text))
        return refusal;
    const int value = valueOf(text);
    if (value < bounds.minimum) {
        refusal.cause = Refusal::BelowMinimum;
        return refusal;
    }
    if (value > bounds.maximum) {
        refusal.cause = Refusal::AboveMaximum;
        return refusal;
    }
    return std::nullopt;
}

QString fieldName(Field field)
{
    switch (field) {
    case Field::OutputPort:
        return QStringLiteral("output port");
    case Field::InputPort:
        return QStringLiteral("input port");
    case Field::MonitorPort:
        return QStringLiteral("monitor port");
    case Field::Brightness:
        return QStringLiteral("brightness");
    case Field::PlanNumber:
        return QStringLiteral("plan number");
    case Field::InputCount:
        return QStringLiteral("input count");
    case Field::OutputCount:
        return QStringLiteral("output count");
    }
    return QString();
}

QString describeRefusal(const Refusal &refusal)
{
    const QString allowed
        = QStringLiteral("allowed: %1 to %2").arg(refusal.minimum).arg(refusal.maximum);
    QString why;
    switch (refusal.cause) {
    case Refusal::NotPlainDigits:
        why = QStringLiteral("is not a plain number (digits 0-9 only)");
        break;
    case Refusal::BelowMinimum:
        // The empty text passes the digits test and reads as 0.
        why = refusal.text.isEmpty() ? QStringLiteral("is empty")
                                     : QStringLiteral("is below %1").arg(refusal.minimum);
        break;
    case Refusal::AboveMaximum:
        why = QStringLiteral("is above %1").arg(refusal.maximum);
        break;
    }
    return QStringLiteral("%1 '%2' %3 (%4)")
        .arg(fieldName(refusal.field), refusal.text, why, allowed);
}

QByteArray switchCommand(const QString &output, const QString &input)
{
    return "*" + bytes(output) + "<" + bytes(input) + "!";
}

QByteArray refreshCommand()
{
    return QByteArrayLiteral("*?!");
}

QByteArray queryCommand()
{
    return QByteArrayLiteral("*!");
}

CommandPlan outputResolution(const QString &port, int index)
{
    if (const auto refusal = checkNumber(NumberTest::StrictPort, Field::OutputPort, port))
        return refused(*refusal);
    const OutputResolutionRow *row = rowAt(outputResolutions, index);
    if (!row)
        return {};
    return send({outputCodeCommand(port, row->codeTail), outputCardCommand(port, row->cardTail)});
}

CommandPlan outputMode(const QString &port, int index)
{
    if (const auto refusal = checkNumber(NumberTest::StrictPort, Field::OutputPort, port))
        return refused(*refusal);
    const OutputModeRow *row = rowAt(outputModes, index);
    if (!row)
        return {};
    return outputSetting(port, row->codeTail, row->cardTail);
}

CommandPlan outputBrightness(const QString &port, const QString &brightness)
{
    // The brightness is judged first: with both fields wrong the operator
    // hears about the brightness.
    if (const auto refusal = checkNumber(NumberTest::Brightness, Field::Brightness, brightness))
        return refused(*refusal);
    if (const auto refusal = checkNumber(NumberTest::RangePort, Field::OutputPort, port))
        return refused(*refusal);
    return send({outputCardCommand(port, brightnessTail(brightness))});
}

CommandPlan outputImageButton(const QString &port, OutputImageButton button)
{
    if (const auto refusal = checkNumber(NumberTest::RangePort, Field::OutputPort, port))
        return refused(*refusal);
    for (const OutputImageButtonRow &row : outputImageButtons) {
        if (row.button == button)
            return outputSetting(port, row.codeTail, row.cardTail);
    }
    return {};
}

CommandPlan inputResolution(const QString &port, int index)
{
    if (const auto refusal = checkNumber(NumberTest::StrictPort, Field::InputPort, port))
        return refused(*refusal);
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
    if (const auto refusal = checkNumber(NumberTest::StrictPort, Field::InputPort, port))
        return refused(*refusal);
    const InputSourceRow *row = rowAt(inputSources, index);
    if (!row)
        return {};
    return send({inputCodeCommand(port, row->codeTail), inputCardCommand(port, row->cardTail)});
}

CommandPlan inputBrightness(const QString &port, const QString &brightness)
{
    if (const auto refusal = checkNumber(NumberTest::Brightness, Field::Brightness, brightness))
        return refused(*refusal);
    if (const auto refusal = checkNumber(NumberTest::RangePort, Field::InputPort, port))
        return refused(*refusal);
    return send({inputCardCommand(port, brightnessTail(brightness))});
}

CommandPlan edid(const QString &input, int index, const QString &monitor)
{
    if (const auto refusal = checkNumber(NumberTest::StrictPort, Field::InputPort, input))
        return refused(*refusal);
    const EdidModeRow *row = rowAt(edidModes, index);
    if (!row)
        return {};
    if (!row->presetTail) {
        // Copy mode: the monitor field matters only here.
        if (const auto refusal = checkNumber(NumberTest::MonitorPort, Field::MonitorPort, monitor))
            return refused(*refusal);
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
    if (const auto refusal = checkNumber(NumberTest::PlanNumber, Field::PlanNumber, number))
        return refused(*refusal);
    const char *head = action == PlanAction::Save ? "*: SAVEPLAN " : "*: CALLPLAN ";
    return send({head + bytes(number) + "!"});
}

CommandPlan portCount(const QString &inputs, const QString &outputs)
{
    if (const auto refusal = checkNumber(NumberTest::RangePort, Field::InputCount, inputs))
        return refused(*refusal);
    if (const auto refusal = checkNumber(NumberTest::RangePort, Field::OutputCount, outputs))
        return refused(*refusal);
    // The device wants the output count first.
    return send({"*:" + bytes(outputs) + " CHANGEPORTNUMBER " + bytes(inputs) + "!"});
}

CommandPlan wallSplit(const QString &port, const QString &across, const QString &down,
                      const QString &column, const QString &row)
{
    if (const auto refusal = checkNumber(NumberTest::RangePort, Field::OutputPort, port))
        return refused(*refusal);
    return send({"*>O" + bytes(port) + " OUTSPLIT " + bytes(across) + " " + bytes(down) + " "
                 + bytes(column) + " " + bytes(row) + " END!"});
}

CommandPlan freeCommand(const QString &text)
{
    // Sent exactly as typed: the operator writes the whole frame.
    return send({text.toUtf8()});
}

} // namespace commands
