#ifndef CLI_REPORT_H
#define CLI_REPORT_H

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

struct StatusReply;

namespace ctl {

// Exit codes, as --help documents them.
enum ExitCode {
    ExitOk = 0,
    ExitDevice = 1, // the link or the device failed
    ExitUsage = 2, // bad arguments or refused input; nothing was sent
};

// What one call prints: readable lines, or one JSON document, on stdout;
// errors as "matrix-ctl: ..." on stderr in both modes. A command fills the
// lines and the document side by side and finish() prints the one asked for.
class Report
{
public:
    Report(bool json, const QString &command);

    bool isJson() const { return m_json; }
    QJsonObject &document() { return m_document; }
    void line(const QString &text) { m_lines << text; }

    // Records a failure: its message goes to stderr (and into the document)
    // and its code becomes the exit code. Returns the code.
    int fail(int code, const QString &message);
    // A note on stderr that does not change the outcome.
    void warn(const QString &message);
    // Prints the lines or the document; returns the exit code.
    int finish();

    // A line or object printed at once, for watch: one per reply. A report
    // that has streamed prints at the end only a failure, as one more line.
    void startStream() { m_streamed = true; }
    void stream(const QString &text, const QJsonObject &object);

private:
    bool m_json;
    QJsonObject m_document;
    QStringList m_lines;
    int m_exitCode = ExitOk;
    bool m_streamed = false;
};

void printOut(const QString &text); // one line on stdout, UTF-8, flushed
void printErr(const QString &text); // "matrix-ctl: text" on stderr
void printHint(const QString &text); // text alone on stderr

// The parts of a decoded reply, for both formats.
QString informationLine(const StatusReply &reply); // "device A, model ..., 16 inputs, 16 outputs"
QJsonObject informationObject(const StatusReply &reply);
QString routeLine(int output, int input); // "output 5 ← input 3"
QJsonArray routesArray(const QVector<int> &sources);

} // namespace ctl

#endif // CLI_REPORT_H
