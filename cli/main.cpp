// matrix-ctl: the scripting client of the matrix switcher. One command per
// call; see --help.

#include "cli/commandline.h"
#include "cli/report.h"
#include "matrixversion.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-ctl"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(projectVersion));

    const ctl::ParseResult parsed = ctl::parseCommandLine(QCoreApplication::arguments());
    if (parsed.outcome == ctl::ParseResult::Help)
        return ctl::printOut(ctl::helpText().trimmed()) ? ctl::ExitOk : ctl::ExitDevice;
    if (parsed.outcome == ctl::ParseResult::Version)
        return ctl::printOut(QStringLiteral("matrix-ctl %1").arg(projectVersion)) ? ctl::ExitOk
                                                                                  : ctl::ExitDevice;
    const ctl::Invocation &call = parsed.invocation;
    ctl::Report report(call.pretty     ? ctl::Report::PrettyJson
                           : call.json ? ctl::Report::Json
                                       : ctl::Report::Text,
                       call.command);
    if (parsed.outcome == ctl::ParseResult::UsageError) {
        report.fail(ctl::ExitUsage, parsed.error);
        ctl::printHint(QStringLiteral("Try 'matrix-ctl --help'."));
        return call.json ? report.finish() : int(ctl::ExitUsage);
    }
    parsed.entry->handler(call, report);
    return report.finish();
}
