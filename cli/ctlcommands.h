#ifndef CLI_CTLCOMMANDS_H
#define CLI_CTLCOMMANDS_H

#include "cli/commandline.h"

namespace commands {
struct CommandPlan;
struct Refusal;
} // namespace commands

// The commands of matrix-ctl, one function each; the table that names them
// is in commandline.cpp. Each returns the exit code, having filled the report.

namespace devicelink {
class DeviceSession;
} // namespace devicelink

namespace ctl {

using devicelink::DeviceSession;

// routingcommands.cpp
int runInfo(const Invocation &call, Report &report);
int runRoutes(const Invocation &call, Report &report);
int runRoute(const Invocation &call, Report &report);
int runSavePlan(const Invocation &call, Report &report);
int runRecallPlan(const Invocation &call, Report &report);
int runSnapshot(const Invocation &call, Report &report);
int runRestore(const Invocation &call, Report &report);
int runWatch(const Invocation &call, Report &report);

// settingcommands.cpp
int runOutputResolution(const Invocation &call, Report &report);
int runOutputMode(const Invocation &call, Report &report);
int runOutputBrightness(const Invocation &call, Report &report);
int runOutputSeamless(const Invocation &call, Report &report);
int runOutputDrive(const Invocation &call, Report &report);
int runInputResolution(const Invocation &call, Report &report);
int runInputSource(const Invocation &call, Report &report);
int runInputBrightness(const Invocation &call, Report &report);
int runEdid(const Invocation &call, Report &report);
int runWall(const Invocation &call, Report &report);
int runPortCount(const Invocation &call, Report &report);
int runSend(const Invocation &call, Report &report);
int runList(const Invocation &call, Report &report);

// Puts every command line the session wrote into the report as "sent",
// however the command ends.
class SentRecord
{
public:
    SentRecord(Report &report, const DeviceSession &session)
        : m_report(report)
        , m_session(session)
    { }
    ~SentRecord();
    SentRecord(const SentRecord &) = delete;
    SentRecord &operator=(const SentRecord &) = delete;

private:
    Report &m_report;
    const DeviceSession &m_session;
};

// Reports a refused number (exit 2, nothing sent).
int refuse(Report &report, const commands::Refusal &refusal);
// Sends a plan's lines, or reports its refusal; waits for no reply.
int sendPlan(const Invocation &call, Report &report, const commands::CommandPlan &plan);

} // namespace ctl

#endif // CLI_CTLCOMMANDS_H
