#ifndef COMMANDS_BUILDERS_H
#define COMMANDS_BUILDERS_H

#include "commands/vocabulary.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Pure builders of every command line the console sends: the texts and
// indexes read from the window (or from a script's arguments) go in, the
// command lines in sending order, or the reason for refusing, come out.
// Nothing here touches a widget or a link, so the whole vocabulary can be
// checked byte for byte without a window, and every program that speaks to
// the device builds its lines here.

namespace commands {

// The number tests. The bounds are the console's own and do not follow the
// port counts the device reports.
enum class NumberTest {
    StrictPort, // 1..72: ports of the resolution, mode, source and EDID tabs
    RangePort, // 1..72: image adjustment, wall and port count fields
    MonitorPort, // 1..72: the monitor whose EDID is copied
    Brightness, // 10..200
    PlanNumber, // 1..30
    RoutePort, // 1..99: a device reports its counts in two digits
};

// The field a refused number was typed into.
enum class Field {
    OutputPort,
    InputPort,
    MonitorPort,
    Brightness,
    PlanNumber,
    InputCount,
    OutputCount,
};

// Why a number was refused. Every test wants plain ASCII digits: a sign or a
// blank that QString::toInt would forgive would otherwise travel into the
// command as typed. Digits are judged first, then the lower bound, then the
// upper one.
struct Refusal
{
    enum Cause { NotPlainDigits, BelowMinimum, AboveMaximum };

    NumberTest test = NumberTest::StrictPort;
    Cause cause = NotPlainDigits;
    Field field = Field::OutputPort;
    QString text; // as typed
    int minimum = 0;
    int maximum = 0;
};

// An English sentence for a refusal, for programs other than the window:
// "output port '73' is above 72 (allowed: 1 to 72)".
QString describeRefusal(const Refusal &refusal);
QString fieldName(Field field);

// What one click (or one request) sends: either a refusal, and nothing is
// sent, or the commands in order. An empty list sends nothing: the list had
// no row at the chosen index.
struct CommandPlan
{
    QList<QByteArray> commands;
    std::optional<Refusal> refusal;

    bool isRefused() const { return refusal.has_value(); }
};

// A number test on its own; nothing when the text passes.
std::optional<Refusal> checkNumber(NumberTest test, Field field, const QString &text);

// Routing and status. The switch names the output first: output 3 from
// input 12 is "*3<12!". The numbers go in as given.
QByteArray switchCommand(const QString &output, const QString &input);
QByteArray refreshCommand(); // "*?!": the device answers with its information
QByteArray queryCommand(); // "*!": the device answers with its routing map

// Output card tab. The code command addresses the output by value + 64;
// the card command carries the port text as typed.
CommandPlan outputResolution(const QString &port, int index);
CommandPlan outputMode(const QString &port, int index);
CommandPlan outputBrightness(const QString &port, const QString &brightness);
CommandPlan outputImageButton(const QString &port, OutputImageButton button);

// Input card tab. Inputs are addressed by their port text everywhere.
CommandPlan inputResolution(const QString &port, int index);
CommandPlan inputSource(const QString &port, int index);
CommandPlan inputBrightness(const QString &port, const QString &brightness);

// EDID tab. The monitor text is read only in the copy mode (index 0).
CommandPlan edid(const QString &input, int index, const QString &monitor);
// Whether the monitor port label and field are usable for this EDID item.
bool edidMonitorFieldsEnabled(const QString &itemText);

// Other controls.
enum class PlanAction { Save, Recall };
CommandPlan plan(PlanAction action, const QString &number);
CommandPlan portCount(const QString &inputs, const QString &outputs);
// across, down, column and row are the current texts of the wall boxes.
CommandPlan wallSplit(const QString &port, const QString &across, const QString &down,
                      const QString &column, const QString &row);
CommandPlan freeCommand(const QString &text);

} // namespace commands

#endif // COMMANDS_BUILDERS_H
