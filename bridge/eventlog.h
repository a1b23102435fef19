#ifndef BRIDGE_EVENTLOG_H
#define BRIDGE_EVENTLOG_H

#include <QString>

#include <functional>

// The bridge's log: one line per event on stderr. Under systemd
// (JOURNAL_STREAM set) the journal stamps each line itself, so the lines go
// out without a time of their own.
namespace eventlog {

// Connections, disconnections, reconnections, clients coming and going,
// dropped commands with their reason.
void logEvent(const QString &line);
// Every command and reply; only with --verbose.
void logVerbose(const QString &line);

void setVerbose(bool verbose);
bool isVerbose();

// Tests and embedding programs take the lines instead of stderr; an empty
// function restores stderr.
void setSink(std::function<void(const QString &)> sink);

} // namespace eventlog

#endif // BRIDGE_EVENTLOG_H
