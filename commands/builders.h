#ifndef COMMANDS_BUILDERS_H
#define COMMANDS_BUILDERS_H

#include "commands/vocabulary.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Pure builders of the settings commands: the texts and indexes read from
// the tabs go in, the command lines (in sending order) or the reason for
// refusing come out. Nothing here touches a widget or a link, so the whole
// command vocabulary can be checked byte for byte without a window.

namespace commands {

// What one click sends. Exactly one of these holds:
// - refusal is not empty: tell the operator, send nothing;
// - silent is true: send nothing and say nothing;
// - otherwise send `commands` in order (an empty list sends nothing: the
//   list had no row at the chosen index).
// A refused plan never carries commands, so a caller may hand `commands` on
// after showing the refusal.
struct CommandPlan
{
    QList<QByteArray> commands;
    QString refusal;
    bool silent = false;

    bool isRefused() const { return silent || !refusal.isEmpty(); }
};

// Number tests. Each answers the message to show, or an empty text when the
// number is accepted. Every test wants plain ASCII digits: a sign or a
// blank that QString::toInt would forgive would otherwise travel into the
// command as typed. The bounds are the console's own and do not follow the
// port counts the device reports.
QString strictPortRefusal(const QString &text); // 1..72, "请输入正确的输入端口号!"
QString rangePortRefusal(const QString &text); // 1..72, "请输入正确的输入输出端口号!"
QString monitorPortRefusal(const QString &text); // 1..72, "请输入正确的显示器端口号!"
QString brightnessRefusal(const QString &text); // 10..200, "请输入正确的亮度值!"
bool planNumberAccepted(const QString &text); // 1..30, refused silently

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
