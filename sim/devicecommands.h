#ifndef SIM_DEVICECOMMANDS_H
#define SIM_DEVICECOMMANDS_H

// The model's command handlers. Each reads one family of commands from a
// whole frame "*...!", changes the device state when it understands the
// command, and says what it did or why it refused. A refused command leaves
// the state as it was.

#include "sim/matrixdevice.h"

struct CommandResult
{
    bool understood = false;
    QString description; // what it did, or why it was refused
    MatrixDevice::Outcome::Reply reply = MatrixDevice::Outcome::NoReply;

    static CommandResult done(const QString &what,
                              MatrixDevice::Outcome::Reply reply = MatrixDevice::Outcome::NoReply)
    {
        return {true, what, reply};
    }
    static CommandResult refused(const QString &why) { return {false, why}; }
};

namespace devicecommands {

using State = MatrixDevice::State;

// Routing: "*O<I!" and the "*:" family (plans, port counts, CPEDID).
CommandResult handleSwitch(State &state, const QByteArray &cmd);
CommandResult handleDeviceCommand(State &state, const QByteArray &cmd);
bool setPortCounts(State &state, int inputs, int outputs);
void normaliseRouting(State &state);

// Cards: "*>O<port> ... END!", "*>I<port> ... END!" and codes "*@<address>,<ccc>!".
CommandResult handleCard(State &state, const QByteArray &cmd);
CommandResult handleCode(State &state, const QByteArray &cmd);

// EDID: presets "*S", copies "*E" and "*:<monitor> CPEDID <input>!".
CommandResult handleEdidPreset(State &state, const QByteArray &cmd);
CommandResult handleEdidCopy(State &state, const QByteArray &cmd);
CommandResult copyEdidFromOutput(State &state, int monitor, int input);

} // namespace devicecommands

#endif // SIM_DEVICECOMMANDS_H
