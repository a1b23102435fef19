// Routing commands: switches, plans and port counts.

#include "sim/devicecommands.h"
#include "sim/simvocabulary.h"

#include <QList>
#include <QStringBuilder>

using namespace simvocabulary;
using Reply = MatrixDevice::Outcome::Reply;

namespace devicecommands {

namespace {

CommandResult handlePlan(State &state, const QByteArray &keyword, int number)
{
    if (number < 1 || number > MatrixDevice::planCount)
        return CommandResult::refused(QStringLiteral("%1: plan %2 out of range 1..%3")
                                          .arg(latin1(keyword))
                                          .arg(number)
                                          .arg(MatrixDevice::planCount));
    QVector<int> &plan = state.plans[number - 1];
    if (keyword == "SAVEPLAN") {
        plan = state.routing;
        return CommandResult::done(QStringLiteral("save plan %1").arg(number));
    }
    // Recalling a plan that was never saved is refused rather than treated
    // as "all default": the operator asked for a routing the device does not
    // have, and a silent reset would hide that.
    if (plan.isEmpty())
        return CommandResult::refused(QStringLiteral("call plan %1: never saved").arg(number));
    state.routing = plan;
    normaliseRouting(state);
    return CommandResult::done(QStringLiteral("call plan %1").arg(number), Reply::RoutingMap);
}

// The output count comes first, the input count second.
CommandResult handlePortCount(State &state, int outputs, int inputs)
{
    if (!setPortCounts(state, inputs, outputs))
        return CommandResult::refused(
            QStringLiteral("port count: %1 inputs, %2 outputs out of range 1..%3")
                .arg(inputs)
                .arg(outputs)
                .arg(MatrixDevice::maxPorts));
    return CommandResult::done(
        QStringLiteral("port count %1 inputs, %2 outputs").arg(inputs).arg(outputs),
        Reply::Information);
}

} // namespace

// "*O<I!": output first, input second.
CommandResult handleSwitch(State &state, const QByteArray &cmd)
{
    // A second '<' leaves an input that is not all digits.
    const int less = cmd.indexOf('<');
    int output = 0;
    int input = 0;
    if (less < 0 || !toNumber(cmd.mid(1, less - 1), &output)
        || !toNumber(cmd.mid(less + 1, cmd.size() - less - 2), &input))
        return CommandResult::refused(QStringLiteral("malformed switch: expected *OUTPUT<INPUT!"));
    if (output < 1 || output > state.outputs)
        return CommandResult::refused(
            QStringLiteral("switch: output %1 out of range 1..%2").arg(output).arg(state.outputs));
    if (input < 1 || input > state.inputs)
        return CommandResult::refused(
            QStringLiteral("switch: input %1 out of range 1..%2").arg(input).arg(state.inputs));
    state.routing[output - 1] = input;
    return CommandResult::done(QLatin1String("switch input ") % QString::number(input)
                                   % QLatin1String(" to output ") % QString::number(output),
                               Reply::RoutingMap);
}

// "*: SAVEPLAN n!", "*: CALLPLAN n!", "*:O CHANGEPORTNUMBER I!", "*:M CPEDID I!":
// a lead (empty or a number), a keyword and a number, single spaces.
CommandResult handleDeviceCommand(State &state, const QByteArray &cmd)
{
    const QByteArray body = cmd.mid(2, cmd.size() - 3);
    const int space = body.indexOf(' ');
    if (space < 0)
        return CommandResult::refused(QStringLiteral("device command without keyword"));
    const QByteArray lead = body.left(space);
    const QList<QByteArray> words = body.mid(space + 1).split(' ');
    if (words.size() != 2 || words[0].isEmpty())
        return CommandResult::refused(QStringLiteral("malformed device command"));
    const QByteArray &keyword = words[0];
    int number = 0;
    if (!toNumber(words[1], &number))
        return CommandResult::refused(
            QStringLiteral("%1: '%2' is not a number").arg(latin1(keyword), latin1(words[1])));

    if (keyword == "SAVEPLAN" || keyword == "CALLPLAN") {
        if (!lead.isEmpty())
            return CommandResult::refused(
                QStringLiteral("%1 takes no number before it").arg(latin1(keyword)));
        return handlePlan(state, keyword, number);
    }
    const bool portCount = keyword == "CHANGEPORTNUMBER";
    if (!portCount && keyword != "CPEDID")
        return CommandResult::refused(
            QStringLiteral("unknown device keyword %1").arg(latin1(keyword)));
    int first = 0;
    if (!toNumber(lead, &first))
        return CommandResult::refused(
            QStringLiteral("%1 needs a number after '*:'").arg(latin1(keyword)));
    return portCount ? handlePortCount(state, first, number)
                     : copyEdidFromOutput(state, first, number);
}

bool setPortCounts(State &state, int inputs, int outputs)
{
    const int max = MatrixDevice::maxPorts;
    if (inputs < 1 || inputs > max || outputs < 1 || outputs > max)
        return false;
    state.inputs = inputs;
    state.outputs = outputs;
    normaliseRouting(state);
    return true;
}

// Routes that name an input the device no longer has fall back to the
// power-on routing (output k from input k, or input 1); all others are kept,
// also for outputs beyond the current count, so that growing the count
// again brings them back.
void normaliseRouting(State &state)
{
    for (int k = 1; k <= MatrixDevice::maxPorts; ++k) {
        int &route = state.routing[k - 1];
        if (route < 1 || route > state.inputs)
            route = MatrixDevice::defaultRouteOf(k, state.inputs);
    }
}

} // namespace devicecommands
