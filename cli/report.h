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
    ExitDevice = 1, // the link or the device failed, or the output could not be written
    ExitUsage = 2, // bad arguments or refused input; nothing was sent
};

// The number every JSON document carries as "schema"; docs/cli-json.md
// describes its documents. Raised when a field changes meaning or goes.
constexpr int jsonSchema = 1;

// What one call prints: readable lines, or one JSON document (one line, or
// indented with --pretty), on stdout; errors as "matrix-ctl: ..." on stderr
// in both modes. A command fills the lines and the document side by side
// and finish() prints the one asked for, the envelope (schema, command, ok,
// exitCode, error) added.
class Report
{
public:
    enum Format { Text, Json, PrettyJson };

    Report(Format format, const QString &command);

    bool isJson() const { return m_format != Text; }
    QJsonObject &document() { return m_document; }
    void line(const QString &text) { m_lines << text; }

    // Records a failure: its message goes to stderr (and into the document)
    // and its code becomes the exit code. Returns the code.
    int fail(int code, const QString &message);
    // A note on stderr that does not change the outcome.
    void warn(const QString &message);
    // Prints the lines or the document; returns the exit code, 1 when
    // stdout could not take them.
    int finish();

    // stdout carries something else (snapshot -): finish() prints nothing
    // there, only failures on stderr.
    void giveAwayStdout() { m_stdoutGiven = true; }

    // A line or document printed at once, for watch: one per reply, each
    // with its envelope. A report that has streamed prints at the end only
    // a failure, as one more document. False when stdout failed (the
    // caller stops; finish() reports it).
    void startStream() { m_streamed = true; }
    bool stream(const QString &text, const QJsonObject &fields);

private:
    QJsonObject envelope(const QJsonObject &fields) const;
    bool print(const QJsonObject &document);

    Format m_format;
    QString m_command;
    QJsonObject m_document;
    QStringList m_lines;
    int m_exitCode = ExitOk;
    bool m_streamed = false;
    bool m_stdoutGiven = false;
    int m_stdoutErrno = 0;
};

// Writes all of bytes to stdout; 0 or the errno of the failure. A reader
// that has gone (EPIPE) ends the process as SIGPIPE ends any filter, even
// where the network code has set SIGPIPE to be ignored.
int writeOut(const QByteArray &bytes);
bool printOut(const QString &text); // one line on stdout, UTF-8; false: see stderr
void printErr(const QString &text); // "matrix-ctl: text" on stderr
void printHint(const QString &text); // text alone on stderr

// Bytes for programs: "text", the bytes as a JSON string (UTF-8 when they
// are, else one character per byte), and "hex", as the console shows them.
QJsonObject bytesObject(const QByteArray &bytes);
QJsonArray bytesArray(const QList<QByteArray> &lines);

// The parts of a decoded reply, for both formats.
QString informationLine(const StatusReply &reply); // "device A, model ..., 16 inputs, 16 outputs"
QJsonObject deviceObject(const StatusReply &reply);
QString routeLine(int output, int input); // "output 5 ← input 3"
QString routesLine(const QVector<int> &sources); // "routes (output←input): 1←3 2←3 ..."
QJsonArray routesArray(const QVector<int> &sources);
// One reply as watch and send show it: kind, bytes and what they say.
QJsonObject replyObject(const QByteArray &bytes, const StatusReply &reply);

} // namespace ctl

#endif // CLI_REPORT_H
