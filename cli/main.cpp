// matrix-ctl: the scripting client of the matrix switcher. One command per
// call; see --help.

#include "cli/commandline.h"
#include "cli/report.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-ctl"));

    const ctl::ParseResult parsed = ctl::parseCommandLine(QCoreApplication::arguments());
    if (parsed.outcome == ctl::ParseResult::Help) {
        ctl::printOut(ctl::helpText().trimmed());
        return ctl::ExitOk;
    }
    ctl::Report report(parsed.invocation.json, parsed.invocation.command);
    if (parsed.outcome == ctl::ParseResult::UsageError) {
        report.fail(ctl::ExitUsage, parsed.error);
        ctl::printHint(QStringLiteral("Try 'matrix-ctl --help'."));
        return parsed.invocation.json ? report.finish() : int(ctl::ExitUsage);
    }
    parsed.entry->handler(parsed.invocation, report);
    return report.finish();
}
