// EDID commands: which EDID an input card offers its source, a preset or a
// copy of the EDID of the monitor on some output.

#include "sim/devicecommands.h"
#include "sim/simvocabulary.h"

#include <QPair>
#include <QStringList>

using namespace simvocabulary;

namespace devicecommands {

// "*S<input><two-digit preset>!": the last two digits are the preset.
CommandResult handleEdidPreset(State &state, const QByteArray &cmd)
{
    const QByteArray digits = cmd.mid(2, cmd.size() - 3);
    if (digits.size() < 3 || !isDigits(digits))
        return CommandResult::refused(
            QStringLiteral("malformed EDID preset: expected *S<INPUT><CC>!"));
    int input = 0;
    toNumber(digits.left(digits.size() - 2), &input);
    const int preset = digits.right(2).toInt();
    if (!isEdidPreset(preset))
        return CommandResult::refused(
            QStringLiteral("EDID preset %1 is not in the vocabulary").arg(latin1(digits.right(2))));
    if (input < 1 || input > state.inputs)
        return CommandResult::refused(QStringLiteral("EDID preset: input %1 out of range 1..%2")
                                          .arg(input)
                                          .arg(state.inputs));
    MatrixDevice::InputCard &card = state.inputCards[input - 1];
    card.edidPreset = preset;
    card.edidCopyMonitor = 0;
    return CommandResult::done(
        QStringLiteral("input %1 EDID preset %2").arg(input).arg(latin1(digits.right(2))));
}

// "*E<input><monitor>!" has no separator between the two numbers. The device
// tries every split and keeps those where both numbers name existing ports.
// One fit is applied: "123" on a 16x16 device can only be input 12 from
// output 3, since there is no output 23. Several fits ("123" on a 32x32
// device: 12 from 3, or 1 from 23) are understood but change nothing: the
// console always follows the copy command with "*:<monitor> CPEDID <input>!",
// which names both ports unambiguously and settles it.
CommandResult handleEdidCopy(State &state, const QByteArray &cmd)
{
    const QByteArray digits = cmd.mid(2, cmd.size() - 3);
    if (digits.size() < 2 || !isDigits(digits))
        return CommandResult::refused(
            QStringLiteral("malformed EDID copy: expected *E<INPUT><OUTPUT>!"));
    QVector<QPair<int, int>> fits;
    for (int split = 1; split < digits.size(); ++split) {
        int input = 0;
        int monitor = 0;
        toNumber(digits.left(split), &input);
        toNumber(digits.mid(split), &monitor);
        if (input >= 1 && input <= state.inputs && monitor >= 1 && monitor <= state.outputs)
            fits.append({input, monitor});
    }
    if (fits.isEmpty())
        return CommandResult::refused(
            QStringLiteral("EDID copy: no split of %1 names an input (1..%2) and an output (1..%3)")
                .arg(latin1(digits))
                .arg(state.inputs)
                .arg(state.outputs));
    if (fits.size() > 1) {
        QStringList choices;
        for (const auto &f : fits)
            choices << QStringLiteral("input %1 from output %2").arg(f.first).arg(f.second);
        return CommandResult::done(QStringLiteral("EDID copy ambiguous, nothing changed: %1")
                                       .arg(choices.join(QStringLiteral(" or "))));
    }
    MatrixDevice::InputCard &card = state.inputCards[fits.first().first - 1];
    card.edidCopyMonitor = fits.first().second;
    card.edidPreset = 0;
    card.edidKeyword.clear();
    return CommandResult::done(QStringLiteral("input %1 EDID copied from output %2")
                                   .arg(fits.first().first)
                                   .arg(fits.first().second));
}

// "*:<monitor> CPEDID <input>!", read by handleDeviceCommand.
CommandResult copyEdidFromOutput(State &state, int monitor, int input)
{
    if (monitor < 1 || monitor > state.outputs)
        return CommandResult::refused(
            QStringLiteral("CPEDID: output %1 out of range 1..%2").arg(monitor).arg(state.outputs));
    if (input < 1 || input > state.inputs)
        return CommandResult::refused(
            QStringLiteral("CPEDID: input %1 out of range 1..%2").arg(input).arg(state.inputs));
    MatrixDevice::InputCard &card = state.inputCards[input - 1];
    card.edidCopyMonitor = monitor;
    card.edidPreset = 0;
    card.edidKeyword.clear();
    return CommandResult::done(
        QStringLiteral("input %1 EDID copied from output %2 (CPEDID)").arg(input).arg(monitor));
}

} // namespace devicecommands
