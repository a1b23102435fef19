#ifndef CLI_COMMANDLINE_H
#define CLI_COMMANDLINE_H

#include "devicelink/linkoptions.h"

#include <QString>
#include <QStringList>

namespace ctl {

class Report;

using devicelink::LinkOptions;

// One call, as parsed.
struct Invocation
{
    QString command;
    QStringList arguments;
    LinkOptions link;
    bool json = false;
    bool pretty = false; // JSON indented for people
    int count = 0; // watch: stop after this many replies (0: never)
    int pollMs = 0; // watch: ask for the routing map this often (0: never)
};

using CommandHandler = int (*)(const Invocation &, Report &);

struct CommandEntry
{
    const char *name;
    const char *arguments; // for the synopsis
    const char *summary; // for --help, lines joined by '\n'
    int minArguments;
    int maxArguments; // -1: any number
    bool needsLink;
    CommandHandler handler;
};

const CommandEntry *findCommand(const QString &name);

struct ParseResult
{
    enum Outcome { Run, Help, Version, UsageError };

    Outcome outcome = UsageError;
    Invocation invocation;
    const CommandEntry *entry = nullptr;
    QString error;
};

ParseResult parseCommandLine(const QStringList &arguments);
QString helpText();

} // namespace ctl

#endif // CLI_COMMANDLINE_H
