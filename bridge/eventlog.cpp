#include "bridge/eventlog.h"

#include <QDateTime>

#include <cstdio>
#include <cstdlib>

namespace eventlog {

namespace {

bool verbose = false;
std::function<void(const QString &)> sink;

bool underJournal()
{
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    return journal;
}

void write(const QString &line)
{
    if (sink) {
        sink(line);
        return;
    }
    QByteArray text;
    if (!underJournal())
        text = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toLocal8Bit() + ' ';
    text += line.toLocal8Bit();
    text += '\n';
    // One write per line, so lines from a burst never mix with other output.
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void logEvent(const QString &line)
{
    write(line);
}

void logVerbose(const QString &line)
{
    if (verbose)
        write(line);
}

void setVerbose(bool on)
{
    verbose = on;
}

bool isVerbose()
{
    return verbose;
}

void setSink(std::function<void(const QString &)> function)
{
    sink = std::move(function);
}

} // namespace eventlog
