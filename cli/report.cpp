#include "cli/report.h"

#include "matrix/replydecoder.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace ctl {

namespace {

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void printOut(const QString &text)
{
    write(stdout, text);
}

void printErr(const QString &text)
{
    write(stderr, QStringLiteral("matrix-ctl: ") + text);
}

void printHint(const QString &text)
{
    write(stderr, text);
}

Report::Report(bool json, const QString &command)
    : m_json(json)
{
    m_document.insert(QStringLiteral("command"), command);
}

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

int Report::finish()
{
    if (m_streamed) {
        if (m_json && m_exitCode != ExitOk)
            stream(QString(), m_document);
        return m_exitCode;
    }
    if (m_json) {
        m_document.insert(QStringLiteral("ok"), m_exitCode == ExitOk);
        m_document.insert(QStringLiteral("exitCode"), m_exitCode);
        printOut(
            QString::fromUtf8(QJsonDocument(m_document).toJson(QJsonDocument::Indented)).trimmed());
    } else {
        for (const QString &text : qAsConst(m_lines))
            printOut(text);
    }
    return m_exitCode;
}

void Report::stream(const QString &text, const QJsonObject &object)
{
    if (m_json)
        printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    else
        printOut(text);
}

QString informationLine(const StatusReply &reply)
{
    return QStringLiteral("device %1, model %2, %3 inputs, %4 outputs")
        .arg(reply.deviceLetter, reply.model)
        .arg(reply.inputs)
        .arg(reply.outputs);
}

QJsonObject informationObject(const StatusReply &reply)
{
    return {{QStringLiteral("device"), reply.deviceLetter},
            {QStringLiteral("model"), reply.model},
            {QStringLiteral("inputs"), reply.inputs},
            {QStringLiteral("outputs"), reply.outputs}};
}

QString routeLine(int output, int input)
{
    return QStringLiteral("output %1 \u2190 input %2").arg(output).arg(input);
}

QJsonArray routesArray(const QVector<int> &sources)
{
    QJsonArray routes;
    for (int j = 0; j < sources.size(); ++j)
        routes.append(QJsonObject {{QStringLiteral("output"), j + 1},
                                   {QStringLiteral("input"), sources.at(j)}});
    return routes;
}

} // namespace ctl
