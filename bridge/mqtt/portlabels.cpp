#include "bridge/mqtt/portlabels.h"

#include "codec/codec.h"

#include <QList>
#include <QRegularExpression>

namespace {

// The highest port number a device reports (two digits).
constexpr int highestPort = 99;
// Longer names make unreadable controls and are surely a mistake.
constexpr int longestLabel = 64;

QString defaultInputName(int input)
{
    return QStringLiteral("Input %1").arg(input);
}

} // namespace

QString PortLabels::inputName(int input) const
{
    return inputs.value(input, defaultInputName(input));
}

QString PortLabels::outputName(int output) const
{
    return outputs.value(output, QStringLiteral("Output %1").arg(output));
}

int PortLabels::inputNamed(const QString &name, int inputCount) const
{
    for (int input = 1; input <= inputCount; ++input) {
        if (inputName(input) == name)
            return input;
    }
    return 0;
}

std::optional<PortLabels> PortLabels::parse(const QByteArray &text, QString *error)
{
    static const QRegularExpression keyPattern(QStringLiteral("^(input|output)\\.([0-9]+)$"));
    static const QRegularExpression defaultName(QStringLiteral("^Input [0-9]+$"));
    PortLabels labels;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const auto fail = [&](const QString &why) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return std::nullopt;
        };
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return fail(QStringLiteral("expected 'input.N = name' or 'output.N = name'"));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        const QRegularExpressionMatch match = keyPattern.match(key);
        if (!match.hasMatch())
            return fail(QStringLiteral("unknown key '%1' (expected input.N or output.N)").arg(key));
        const int port = match.captured(2).toInt();
        if (port < 1 || port > highestPort)
            return fail(QStringLiteral("port %1 is outside 1 to %2").arg(port).arg(highestPort));
        if (value.isEmpty())
            return fail(QStringLiteral("%1 has no name").arg(key));
        if (value.size() > longestLabel)
            return fail(
                QStringLiteral("%1 is longer than %2 characters").arg(key).arg(longestLabel));
        QMap<int, QString> &names
            = match.captured(1) == QLatin1String("input") ? labels.inputs : labels.outputs;
        if (names.contains(port))
            return fail(QStringLiteral("%1 is named twice").arg(key));
        if (&names == &labels.inputs) {
            // An input's name is a payload that routes it: it must not be
            // mistaken for a number or for another input.
            if (isAllDigits(value))
                return fail(
                    QStringLiteral("%1 = %2: an input name must not be a number").arg(key, value));
            if (defaultName.match(value).hasMatch())
                return fail(QStringLiteral("%1 = %2: an input name must not look like another "
                                           "input's default name")
                                .arg(key, value));
            const int other = names.key(value, 0);
            if (other != 0)
                return fail(QStringLiteral("%1 = %2: input.%3 has that name already")
                                .arg(key, value)
                                .arg(other));
        }
        names.insert(port, value);
    }
    return labels;
}
