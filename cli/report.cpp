#include "cli/report.h"

#include "codec/codec.h"
#include "matrix/replydecoder.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace ctl {

namespace {

int writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        left -= n;
    }
    return 0;
}

} // namespace

int writeOut(const QByteArray &bytes)
{
    const int error = writeAll(STDOUT_FILENO, bytes);
    if (error == EPIPE) {
        // Qt's sockets ignore SIGPIPE for the whole process; a filter whose
        // reader has gone ends the way every other one does.
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
    }
    return error;
}

bool printOut(const QString &text)
{
    const int error = writeOut(text.toUtf8() + '\n');
    if (error != 0)
        printErr(QStringLiteral("cannot write to standard output: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(error))));
    return error == 0;
}

void printErr(const QString &text)
{
    // Nothing better can be done when stderr fails too.
    writeAll(STDERR_FILENO, QStringLiteral("matrix-ctl: %1\n").arg(text).toUtf8());
}

void printHint(const QString &text)
{
    writeAll(STDERR_FILENO, text.toUtf8() + '\n');
}

QJsonObject bytesObject(const QByteArray &bytes)
{
    // The decoding is lossless either way: valid UTF-8 (the typed text of
    // send) reads as typed, anything else byte for byte as Latin-1.
    const QString utf8 = QString::fromUtf8(bytes);
    const bool valid = utf8.toUtf8() == bytes;
    return {{QStringLiteral("text"), valid ? utf8 : QString::fromLatin1(bytes)},
            {QStringLiteral("hex"), bytesToHexText(bytes)}};
}

QJsonArray bytesArray(const QList<QByteArray> &lines)
{
    QJsonArray array;
    for (const QByteArray &line : lines)
        array.append(bytesObject(line));
    return array;
}

Report::Report(Format format, const QString &command)
    : m_format(format)
    , m_command(command)
{ }

int Report::fail(int code, const QString &message)
{
    printErr(message);
    m_document.insert(QStringLiteral("error"), message);
    m_exitCode = code;
    return code;
}

void Report::warn(const QString &message)
{
    printErr(QStringLiteral("warning: ") + message);
}

QJsonObject Report::envelope(const QJsonObject &fields) const
{
    QJsonObject document = fields;
    document.insert(QStringLiteral("schema"), jsonSchema);
    document.insert(QStringLiteral("command"), m_command);
    const bool ok = !document.contains(QStringLiteral("error"));
    document.insert(QStringLiteral("ok"), ok);
    document.insert(QStringLiteral("exitCode"), ok ? int(ExitOk) : m_exitCode);
    return document;
}

bool Report::print(const QJsonObject &document)
{
    const QByteArray text = QJsonDocument(document).toJson(
        m_format == PrettyJson ? QJsonDocument::Indented : QJsonDocument::Compact);
    return printOut(QString::fromUtf8(text).trimmed());
}

int Report::finish()
{
    bool printed = true;
    if (m_stdoutGiven) {
        // stdout held the call's product; whatever was to be said is on stderr.
    } else if (m_streamed) {
        if (isJson() && m_exitCode != ExitOk)
            printed = print(envelope(m_document));
    } else if (isJson()) {
        printed = print(envelope(m_document));
    } else {
        for (const QString &text : qAsConst(m_lines)) {
            if (!(printed = printOut(text)))
                break;
        }
    }
    return printed && m_stdoutErrno == 0 ? m_exitCode : int(ExitDevice);
}

bool Report::stream(const QString &text, const QJsonObject &fields)
{
    if (m_stdoutErrno != 0)
        return false;
    const bool printed = isJson() ? print(envelope(fields)) : printOut(text);
    if (!printed)
        m_stdoutErrno = EIO;
    return printed;
}

QString informationLine(const StatusReply &reply)
{
    return QStringLiteral("device %1, model %2, %3 inputs, %4 outputs")
        .arg(reply.deviceLetter, reply.model)
        .arg(reply.inputs)
        .arg(reply.outputs);
}

QJsonObject deviceObject(const StatusReply &reply)
{
    return {{QStringLiteral("letter"), reply.deviceLetter},
            {QStringLiteral("model"), reply.model},
            {QStringLiteral("inputs"), reply.inputs},
            {QStringLiteral("outputs"), reply.outputs}};
}

QString routeLine(int output, int input)
{
    return QStringLiteral("output %1 \u2190 input %2").arg(output).arg(input);
}

QString routesLine(const QVector<int> &sources)
{
    QStringList pairs;
    for (int j = 0; j < sources.size(); ++j)
        pairs << QStringLiteral("%1\u2190%2").arg(j + 1).arg(sources.at(j));
    return QStringLiteral("routes (output\u2190input): ") + pairs.join(QLatin1Char(' '));
}

QJsonArray routesArray(const QVector<int> &sources)
{
    QJsonArray routes;
    for (int j = 0; j < sources.size(); ++j)
        routes.append(QJsonObject {{QStringLiteral("output"), j + 1},
                                   {QStringLiteral("input"), sources.at(j)}});
    return routes;
}

QJsonObject replyObject(const QByteArray &bytes, const StatusReply &reply)
{
    QJsonObject object {{QStringLiteral("bytes"), bytesObject(bytes)}};
    switch (reply.kind) {
    case StatusReply::DeviceInformation:
        object.insert(QStringLiteral("kind"), QStringLiteral("information"));
        object.insert(QStringLiteral("device"), deviceObject(reply));
        break;
    case StatusReply::RoutingMap:
        object.insert(QStringLiteral("kind"), QStringLiteral("routes"));
        object.insert(QStringLiteral("letter"), QString(QChar::fromLatin1(bytes.at(0))));
        object.insert(QStringLiteral("routes"), routesArray(reply.sources));
        break;
    case StatusReply::Ignored:
        object.insert(QStringLiteral("kind"), QStringLiteral("unrecognised"));
        break;
    }
    return object;
}

} // namespace ctl
