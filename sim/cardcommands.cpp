// Card commands: the keyword form "*>O4 SET1080P60 END!" and the code form
// "*@68,240!" of the output and input card settings.

#include "sim/devicecommands.h"
#include "sim/simvocabulary.h"

#include <QStringBuilder>
#include <QVarLengthArray>

#include <cstring>

using namespace simvocabulary;
using InputCard = MatrixDevice::InputCard;
using OutputCard = MatrixDevice::OutputCard;

namespace devicecommands {

namespace {

// The words of a card command; cut without a list or a copy of the whole,
// since a flood of card commands passes here.
using Words = QVarLengthArray<QByteArray, 8>;

// The words between "*>" and "!", cut at every space: a stray space leaves
// an empty word.
Words cardWords(const QByteArray &cmd)
{
    Words words;
    const char *from = cmd.constData() + 2;
    const char *const end = cmd.constData() + cmd.size() - 1;
    for (;;) {
        const auto *space = static_cast<const char *>(std::memchr(from, ' ', size_t(end - from)));
        const char *const stop = space ? space : end;
        words.append(QByteArray(from, int(stop - from)));
        if (!space)
            return words;
        from = space + 1;
    }
}

QString joined(const Words &words)
{
    QByteArray text;
    for (const QByteArray &w : words)
        text += (text.isEmpty() ? "" : " ") + w;
    return latin1(text);
}

CommandResult done(const QString &where, const QString &what)
{
    return CommandResult::done(where % QLatin1Char(' ') % what);
}

// SETLD reads the same on both kinds of card.
CommandResult setBrightness(const QString &where, const QByteArray &word, int &brightness)
{
    int value = 0;
    if (!toNumber(word, &value) || value < brightnessMin || value > brightnessMax)
        return CommandResult::refused(QStringLiteral("%1 SETLD: brightness '%2' not in %3..%4")
                                          .arg(where, latin1(word))
                                          .arg(brightnessMin)
                                          .arg(brightnessMax));
    brightness = value;
    return done(where, QLatin1String("brightness ") % QString::number(value));
}

// "OUTSPLIT across down column row": a screen's place in a video wall.
CommandResult setWall(const QString &where, const Words &words, OutputCard &card)
{
    int n[4] = {};
    for (int i = 0; i < 4; ++i)
        if (!toNumber(words[i + 1], &n[i]) || n[i] < 1 || n[i] > wallMax)
            return CommandResult::refused(QStringLiteral("%1 OUTSPLIT: '%2' not in 1..%3")
                                              .arg(where, latin1(words[i + 1]))
                                              .arg(wallMax));
    // A screen cannot sit outside its own wall; the console leaves this
    // unchecked, so the device is where it shows up.
    if (n[2] > n[0] || n[3] > n[1])
        return CommandResult::refused(
            QStringLiteral("%1 OUTSPLIT: position %2,%3 outside a %4x%5 wall")
                .arg(where)
                .arg(n[2])
                .arg(n[3])
                .arg(n[0])
                .arg(n[1]));
    card.wall = MatrixDevice::WallPosition {n[0], n[1], n[2], n[3]};
    return done(
        where,
        QStringLiteral("wall %1x%2 at column %3, row %4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]));
}

CommandResult handleOutputKeyword(OutputCard &card, const QString &where, const Words &words)
{
    const QByteArray &kw = words.first();
    const QString kwText = latin1(kw);
    if (words.size() == 1) {
        if (resolutionByKeyword(kw)) {
            card.resolution = kw;
            return done(where, QLatin1String("resolution ") % kwText);
        }
        if (isOutputMode(kw)) {
            card.mode = kw;
            return done(where, QLatin1String("mode ") % kwText);
        }
        if (isOutputDrive(kw)) {
            card.drive = kw;
            return done(where, QLatin1String("drive ") % kwText);
        }
        if (isInputSource(kw) || isEdidKeyword(kw))
            return CommandResult::refused(
                QStringLiteral("%1: %2 is an input-card keyword").arg(where, kwText));
    }
    if (kw == "DISMODE" && words.size() == 2 && (words[1] == "0" || words[1] == "1")) {
        card.seamless = words[1] == "1" ? 1 : 0;
        return done(where, QLatin1String("seamless ") % latin1(words[1]));
    }
    if (kw == "SETLD" && words.size() == 2)
        return setBrightness(where, words[1], card.brightness);
    if (kw == "OUTSPLIT" && words.size() == 5)
        return setWall(where, words, card);
    if (kw == "OUTRES")
        return CommandResult::refused(
            QStringLiteral("%1: OUTRES is an input-card keyword").arg(where));
    return CommandResult::refused(
        QStringLiteral("%1: unknown keyword %2").arg(where, joined(words)));
}

CommandResult handleInputKeyword(InputCard &card, const QString &where, const Words &words)
{
    const QByteArray &kw = words.first();
    const QString kwText = latin1(kw);
    if (words.size() == 1) {
        if (const Resolution *r = resolutionByKeyword(kw)) {
            if (!r->inputCardToo)
                return CommandResult::refused(
                    QStringLiteral("%1: %2 is not an input resolution").arg(where, kwText));
            card.resolution = kw;
            return done(where, QLatin1String("resolution ") % kwText);
        }
        if (isInputSource(kw)) {
            card.source = kw;
            return done(where, QLatin1String("source ") % kwText);
        }
        if (isEdidKeyword(kw)) {
            card.edidKeyword = kw;
            card.edidCopyMonitor = 0;
            return done(where, QLatin1String("EDID ") % kwText);
        }
        if (isOutputMode(kw) || isOutputDrive(kw))
            return CommandResult::refused(
                QStringLiteral("%1: %2 is an output-card keyword").arg(where, kwText));
    }
    if (kw == "OUTRES" && words.size() == 2 && words[1].size() == 1 && words[1].at(0) >= '1'
        && words[1].at(0) <= '4') {
        card.resolutionNumber = words[1].at(0) - '0';
        return done(where, QLatin1String("resolution number ") % latin1(words[1]));
    }
    if (kw == "SETLD" && words.size() == 2)
        return setBrightness(where, words[1], card.brightness);
    if (kw == "DISMODE" || kw == "OUTSPLIT")
        return CommandResult::refused(
            QStringLiteral("%1: %2 is an output-card keyword").arg(where, kwText));
    return CommandResult::refused(
        QStringLiteral("%1: unknown keyword %2").arg(where, joined(words)));
}

void applyOutputCode(const OutputCodeEffect &effect, OutputCard &card)
{
    switch (effect.field) {
    case OutputCodeEffect::Resolution:
        card.resolution = effect.keyword;
        break;
    case OutputCodeEffect::Mode:
        card.mode = effect.keyword;
        break;
    case OutputCodeEffect::Drive:
        card.drive = effect.keyword;
        break;
    case OutputCodeEffect::Seamless:
        card.seamless = effect.keyword == "DISMODE 1" ? 1 : 0;
        break;
    case OutputCodeEffect::None:
        break;
    }
}

} // namespace

// "*>O<port> <keyword...> END!" and "*>I<port> <keyword...> END!", single
// spaces exactly as the console writes them.
CommandResult handleCard(State &state, const QByteArray &cmd)
{
    const Words words = cardWords(cmd);
    for (const QByteArray &w : words)
        if (w.isEmpty())
            return CommandResult::refused(QStringLiteral("card command: stray space"));
    if (words.size() < 3 || words.last() != "END")
        return CommandResult::refused(QStringLiteral("card command: missing END"));
    const QByteArray &head = words.first();
    const char card = head.at(0);
    if (card != 'O' && card != 'I')
        return CommandResult::refused(
            QStringLiteral("card command: unknown card letter '%1'").arg(QChar::fromLatin1(card)));
    int port = 0;
    if (!toNumber(head.mid(1), &port))
        return CommandResult::refused(
            QStringLiteral("card command: '%1' is not a port number").arg(latin1(head.mid(1))));
    Words keyword;
    for (int i = 1; i + 1 < words.size(); ++i)
        keyword.append(words[i]);
    const bool output = card == 'O';
    const int count = output ? state.outputs : state.inputs;
    // Built without arg(): a flood of card commands passes here.
    const QString where
        = (output ? QLatin1String("output ") : QLatin1String("input ")) % QString::number(port);
    if (port < 1 || port > count)
        return CommandResult::refused(
            QStringLiteral("%1 out of range 1..%2").arg(where).arg(count));
    return output ? handleOutputKeyword(state.outputCards[port - 1], where, keyword)
                  : handleInputKeyword(state.inputCards[port - 1], where, keyword);
}

// "*@<address>,<ccc>!". Inputs are addressed by their port number, outputs by
// port + 64; the code says which card is meant.
CommandResult handleCode(State &state, const QByteArray &cmd)
{
    // A second comma leaves a code that is not all digits.
    const int comma = cmd.indexOf(',');
    const QByteArray codeText = cmd.mid(comma + 1, cmd.size() - comma - 2);
    int address = 0;
    int code = 0;
    if (comma < 0 || !toNumber(cmd.mid(2, comma - 2), &address) || codeText.size() != 3
        || !toNumber(codeText, &code))
        return CommandResult::refused(
            QStringLiteral("malformed code command: expected *@ADDRESS,CCC!"));

    const QByteArray source = inputSourceOfCode(code);
    if (!source.isEmpty()) {
        if (address < 1 || address > state.inputs)
            return CommandResult::refused(QStringLiteral("code %1: input %2 out of range 1..%3")
                                              .arg(code)
                                              .arg(address)
                                              .arg(state.inputs));
        state.inputCards[address - 1].source = source;
        return CommandResult::done(
            QLatin1String("input ") % QString::number(address) % QLatin1String(" source ")
            % latin1(source) % QLatin1String(" (code ") % QString::number(code) % QLatin1Char(')'));
    }

    const OutputCodeEffect effect = outputCodeEffect(code);
    if (effect.field == OutputCodeEffect::None)
        return CommandResult::refused(QStringLiteral("code %1 is not in the vocabulary").arg(code));
    const int port = address - outputAddressOffset;
    if (port < 1 || port > state.outputs)
        return CommandResult::refused(
            QStringLiteral("code %1: address %2 is not an output address (65..%3)")
                .arg(code)
                .arg(address)
                .arg(state.outputs + outputAddressOffset));
    applyOutputCode(effect, state.outputCards[port - 1]);
    return CommandResult::done(QLatin1String("output ") % QString::number(port) % QLatin1Char(' ')
                               % latin1(effect.keyword) % QLatin1String(" (code ")
                               % QString::number(code) % QLatin1Char(')'));
}

} // namespace devicecommands
