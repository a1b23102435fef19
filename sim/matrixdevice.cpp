#include "sim/matrixdevice.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <algorithm>

namespace {

// Resolution keywords, shared by both card kinds, with the code an output
// card also accepts for them. Code 250 belongs to no resolution.
struct Resolution
{
    const char *keyword;
    int outputCode;
    bool inputCardToo;
};

const Resolution kResolutions[] = {
    {"SET1080P60", 240, true},  {"SET1080P50", 241, false},  {"SET720P60", 242, true},
    {"SET720P50", 243, false},  {"SET1280x1024", 244, true}, {"SET1366x768", 245, true},
    {"SET1280x800", 246, true}, {"SET1680x1050", 247, true}, {"SET1440x900", 248, true},
    {"SET1024x768", 249, true}, {"SET480P60", 251, true},    {"SET1080P30", 252, false},
    {"SET720P30", 253, false},
};

struct Keyword
{
    const char *keyword;
    int code; // 0: no code form
};

const Keyword kOutputModes[] = {
    {"HDMIMOD", 238}, {"DVIMOD", 239}, {"OUTYPBPR", 0}, {"OUTRGB", 0}, {"OUTFOURCE", 0},
};

const Keyword kOutputDrives[] = {{"TERON", 236}, {"TEROFF", 237}, {"TERNONE", 0}};

const Keyword kInputSources[] = {
    {"SRCHDMI", 224},
    {"SRCVGA", 225},
    {"SRCCVBS", 226},
    {"SRCYPBPR", 227},
};

const char *const kEdidKeywords[] = {
    "EDIDDVI1366X768", "EDIDSAMSUNG",      "EDIDHDMI1080P",
    "EDIDHDMI4K2K",    "EDIDHDMI1366X768", "EDID3D4K2K",
};

// Two-digit preset codes of "*S"; 04 is not one of them.
const int kEdidPresets[] = {1, 2, 3, 5, 6, 7, 8};

constexpr int SeamlessOnCode = 234;
constexpr int SeamlessOffCode = 235;
constexpr int BrightnessMin = 10;
constexpr int BrightnessMax = 200;
constexpr int WallMax = 16;
constexpr int OutputAddressOffset = 64;

bool isDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number made of digits only; leading zeros are allowed. A number
// too long for any field reads as a large value so that the range checks
// refuse it rather than the syntax check.
bool toNumber(const QByteArray &text, int *value)
{
    if (!isDigits(text))
        return false;
    int start = 0;
    while (start < text.size() - 1 && text.at(start) == '0')
        ++start;
    const QByteArray significant = text.mid(start);
    *value = significant.size() > 6 ? 1000000 : significant.toInt();
    return true;
}

QByteArray twoDigits(int n)
{
    return QByteArray::number(n).rightJustified(2, '0');
}

const Resolution *resolutionByKeyword(const QByteArray &word)
{
    for (const Resolution &r : kResolutions)
        if (word == r.keyword)
            return &r;
    return nullptr;
}

template<std::size_t N> const Keyword *keywordIn(const Keyword (&table)[N], const QByteArray &word)
{
    for (const Keyword &k : table)
        if (word == k.keyword)
            return &k;
    return nullptr;
}

bool isEdidKeyword(const QByteArray &word)
{
    for (const char *k : kEdidKeywords)
        if (word == k)
            return true;
    return false;
}

// What an output card's code sets: the same field and value as the keyword
// the code stands for.
struct OutputCodeEffect
{
    enum Field { None, Resolution, Mode, Drive, Seamless };
    Field field = None;
    QByteArray keyword;
};

OutputCodeEffect outputCodeEffect(int code)
{
    for (const Resolution &r : kResolutions)
        if (r.outputCode == code)
            return {OutputCodeEffect::Resolution, r.keyword};
    for (const Keyword &k : kOutputModes)
        if (k.code && k.code == code)
            return {OutputCodeEffect::Mode, k.keyword};
    for (const Keyword &k : kOutputDrives)
        if (k.code && k.code == code)
            return {OutputCodeEffect::Drive, k.keyword};
    if (code == SeamlessOnCode)
        return {OutputCodeEffect::Seamless, "DISMODE 1"};
    if (code == SeamlessOffCode)
        return {OutputCodeEffect::Seamless, "DISMODE 0"};
    return {};
}

QString text(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

} // namespace

MatrixDevice::MatrixDevice(int inputs, int outputs, char letter)
{
    m_state.inputs = std::clamp(inputs, 1, MaxPorts);
    m_state.outputs = std::clamp(outputs, 1, MaxPorts);
    m_state.letter = (letter >= 'A' && letter <= 'H') ? letter : 'A';
    m_state.routing.resize(MaxPorts);
    for (int k = 1; k <= MaxPorts; ++k)
        m_state.routing[k - 1] = defaultRouteOf(k, m_state.inputs);
    m_state.plans.resize(PlanCount);
    m_state.outputCards.resize(MaxPorts);
    m_state.inputCards.resize(MaxPorts);
}

// ---------------------------------------------------------------- framing

QVector<MatrixDevice::Outcome> MatrixDevice::feed(Session &s, const QByteArray &bytes)
{
    QVector<Outcome> out;
    auto endGarbage = [&] {
        if (s.m_garbage.isEmpty())
            return;
        Outcome o;
        o.kind = Outcome::Garbage;
        o.bytes = s.m_garbage;
        o.description = QStringLiteral("bytes outside a command");
        out << record(o);
        s.m_garbage.clear();
    };
    auto abandon = [&](const QString &why) {
        Outcome o;
        o.kind = Outcome::Incomplete;
        o.bytes = s.m_command;
        o.description = why;
        out << record(o);
        s.m_command.clear();
    };

    for (const char c : bytes) {
        if (s.m_inCommand) {
            if (c == '*') {
                abandon(QStringLiteral("abandoned: a new command began before '!'"));
                s.m_command = "*";
                continue;
            }
            s.m_command += c;
            if (c == '!') {
                QByteArray command;
                command.swap(s.m_command);
                s.m_inCommand = false;
                out << handleCommand(command);
            } else if (s.m_command.size() >= MaxCommandBytes) {
                abandon(QStringLiteral("abandoned: longer than %1 bytes without '!'")
                            .arg(MaxCommandBytes));
                s.m_inCommand = false;
            }
        } else if (c == '*') {
            endGarbage();
            s.m_inCommand = true;
            s.m_command = "*";
        } else {
            s.m_garbage += c;
            if (c == '\n' || s.m_garbage.size() >= MaxGarbageRun)
                endGarbage();
        }
    }
    return out;
}

QVector<MatrixDevice::Outcome> MatrixDevice::flush(Session &s)
{
    QVector<Outcome> out;
    if (s.m_inCommand && !s.m_command.isEmpty()) {
        Outcome o;
        o.kind = Outcome::Incomplete;
        o.bytes = s.m_command;
        o.description = QStringLiteral("ended without '!'");
        out << record(o);
    }
    if (!s.m_garbage.isEmpty()) {
        Outcome o;
        o.kind = Outcome::Garbage;
        o.bytes = s.m_garbage;
        o.description = QStringLiteral("bytes outside a command");
        out << record(o);
    }
    s = Session();
    return out;
}

MatrixDevice::Outcome MatrixDevice::record(Outcome outcome)
{
    m_records.append(outcome);
    if (m_records.size() > m_recordLimit)
        m_records.remove(0, m_records.size() - m_recordLimit);
    return outcome;
}

MatrixDevice::Outcome MatrixDevice::understood(const QByteArray &bytes, const QString &what,
                                               const QByteArray &reply)
{
    Outcome o;
    o.bytes = bytes;
    o.understood = true;
    o.description = what;
    o.reply = reply;
    return record(o);
}

MatrixDevice::Outcome MatrixDevice::refused(const QByteArray &bytes, const QString &why)
{
    Outcome o;
    o.bytes = bytes;
    o.description = why;
    return record(o);
}

// ---------------------------------------------------------------- commands

MatrixDevice::Outcome MatrixDevice::handleCommand(const QByteArray &cmd)
{
    if (cmd.size() < 2 || !cmd.startsWith('*') || !cmd.endsWith('!'))
        return refused(cmd, QStringLiteral("not a command frame"));
    if (cmd == "*?!")
        return understood(cmd, QStringLiteral("device information"), infoReply());
    if (cmd == "*!")
        return understood(cmd, QStringLiteral("routing map"), routingMapReply());

    switch (cmd.at(1)) {
    case '>':
        return handleCard(cmd);
    case '@':
        return handleCode(cmd);
    case 'S':
        return handleEdidPreset(cmd);
    case 'E':
        return handleEdidCopy(cmd);
    case ':':
        return handleDevice(cmd);
    default:
        if (cmd.at(1) >= '0' && cmd.at(1) <= '9')
            return handleSwitch(cmd);
        return refused(cmd, QStringLiteral("unknown command"));
    }
}

// "*O<I!": output first, input second.
MatrixDevice::Outcome MatrixDevice::handleSwitch(const QByteArray &cmd)
{
    const QList<QByteArray> parts = cmd.mid(1, cmd.size() - 2).split('<');
    int output = 0;
    int input = 0;
    if (parts.size() != 2 || !toNumber(parts[0], &output) || !toNumber(parts[1], &input))
        return refused(cmd, QStringLiteral("malformed switch: expected *OUTPUT<INPUT!"));
    if (output < 1 || output > m_state.outputs)
        return refused(cmd,
                       QStringLiteral("switch: output %1 out of range 1..%2")
                           .arg(output)
                           .arg(m_state.outputs));
    if (input < 1 || input > m_state.inputs)
        return refused(
            cmd,
            QStringLiteral("switch: input %1 out of range 1..%2").arg(input).arg(m_state.inputs));
    m_state.routing[output - 1] = input;
    return understood(cmd, QStringLiteral("switch input %1 to output %2").arg(input).arg(output),
                      routingMapReply());
}

// "*: SAVEPLAN n!", "*: CALLPLAN n!", "*:O CHANGEPORTNUMBER I!", "*:M CPEDID I!".
MatrixDevice::Outcome MatrixDevice::handleDevice(const QByteArray &cmd)
{
    const QByteArray body = cmd.mid(2, cmd.size() - 3);
    const int space = body.indexOf(' ');
    if (space < 0)
        return refused(cmd, QStringLiteral("device command without keyword"));
    const QByteArray lead = body.left(space);
    const QList<QByteArray> words = body.mid(space + 1).split(' ');
    if (words.size() != 2 || words[0].isEmpty())
        return refused(cmd, QStringLiteral("malformed device command"));
    const QByteArray &keyword = words[0];
    int number = 0;
    if (!toNumber(words[1], &number))
        return refused(
            cmd, QStringLiteral("%1: '%2' is not a number").arg(text(keyword), text(words[1])));

    if (keyword == "SAVEPLAN" || keyword == "CALLPLAN") {
        if (!lead.isEmpty())
            return refused(cmd, QStringLiteral("%1 takes no number before it").arg(text(keyword)));
        if (number < 1 || number > PlanCount)
            return refused(cmd,
                           QStringLiteral("%1: plan %2 out of range 1..%3")
                               .arg(text(keyword))
                               .arg(number)
                               .arg(PlanCount));
        QVector<int> &plan = m_state.plans[number - 1];
        if (keyword == "SAVEPLAN") {
            plan = m_state.routing;
            return understood(cmd, QStringLiteral("save plan %1").arg(number));
        }
        // Recalling a plan that was never saved is refused rather than
        // treated as "all default": the operator asked for a routing the
        // device does not have, and a silent reset would hide that.
        if (plan.isEmpty())
            return refused(cmd, QStringLiteral("call plan %1: never saved").arg(number));
        m_state.routing = plan;
        normaliseRouting();
        return understood(cmd, QStringLiteral("call plan %1").arg(number), routingMapReply());
    }

    int first = 0;
    if (!toNumber(lead, &first))
        return refused(cmd, QStringLiteral("%1 needs a number after '*:'").arg(text(keyword)));

    if (keyword == "CHANGEPORTNUMBER") {
        // The output count comes first, the input count second.
        const int outputs = first;
        const int inputs = number;
        if (outputs < 1 || outputs > MaxPorts || inputs < 1 || inputs > MaxPorts)
            return refused(cmd,
                           QStringLiteral("port count: %1 inputs, %2 outputs out of range 1..%3")
                               .arg(inputs)
                               .arg(outputs)
                               .arg(MaxPorts));
        setPortCounts(inputs, outputs);
        return understood(
            cmd, QStringLiteral("port count %1 inputs, %2 outputs").arg(inputs).arg(outputs),
            infoReply());
    }
    if (keyword == "CPEDID") {
        const int monitor = first;
        const int input = number;
        if (monitor < 1 || monitor > m_state.outputs)
            return refused(cmd,
                           QStringLiteral("CPEDID: output %1 out of range 1..%2")
                               .arg(monitor)
                               .arg(m_state.outputs));
        if (input < 1 || input > m_state.inputs)
            return refused(cmd,
                           QStringLiteral("CPEDID: input %1 out of range 1..%2")
                               .arg(input)
                               .arg(m_state.inputs));
        InputCard &card = m_state.inputCards[input - 1];
        card.edidCopyMonitor = monitor;
        card.edidPreset = 0;
        card.edidKeyword.clear();
        return understood(
            cmd,
            QStringLiteral("input %1 EDID copied from output %2 (CPEDID)").arg(input).arg(monitor));
    }
    return refused(cmd, QStringLiteral("unknown device keyword %1").arg(text(keyword)));
}

// "*>O<port> <keyword...> END!" and "*>I<port> <keyword...> END!", single
// spaces exactly as the console writes them.
MatrixDevice::Outcome MatrixDevice::handleCard(const QByteArray &cmd)
{
    const QList<QByteArray> words = cmd.mid(2, cmd.size() - 3).split(' ');
    for (const QByteArray &w : words)
        if (w.isEmpty())
            return refused(cmd, QStringLiteral("card command: stray space"));
    if (words.size() < 3 || words.last() != "END")
        return refused(cmd, QStringLiteral("card command: missing END"));
    const QByteArray &head = words.first();
    const char card = head.at(0);
    if (card != 'O' && card != 'I')
        return refused(
            cmd,
            QStringLiteral("card command: unknown card letter '%1'").arg(QChar::fromLatin1(card)));
    int port = 0;
    if (!toNumber(head.mid(1), &port))
        return refused(
            cmd, QStringLiteral("card command: '%1' is not a port number").arg(text(head.mid(1))));
    const QList<QByteArray> keyword = words.mid(1, words.size() - 2);
    if (card == 'O') {
        if (port < 1 || port > m_state.outputs)
            return refused(
                cmd, QStringLiteral("output %1 out of range 1..%2").arg(port).arg(m_state.outputs));
        return handleOutputKeyword(cmd, port, keyword);
    }
    if (port < 1 || port > m_state.inputs)
        return refused(cmd,
                       QStringLiteral("input %1 out of range 1..%2").arg(port).arg(m_state.inputs));
    return handleInputKeyword(cmd, port, keyword);
}

MatrixDevice::Outcome MatrixDevice::handleOutputKeyword(const QByteArray &cmd, int port,
                                                        const QList<QByteArray> &words)
{
    OutputCard &card = m_state.outputCards[port - 1];
    const QByteArray &kw = words.first();
    const QString where = QStringLiteral("output %1").arg(port);

    if (words.size() == 1) {
        if (resolutionByKeyword(kw)) {
            card.resolution = kw;
            return understood(cmd, QStringLiteral("%1 resolution %2").arg(where, text(kw)));
        }
        if (keywordIn(kOutputModes, kw)) {
            card.mode = kw;
            return understood(cmd, QStringLiteral("%1 mode %2").arg(where, text(kw)));
        }
        if (keywordIn(kOutputDrives, kw)) {
            card.drive = kw;
            return understood(cmd, QStringLiteral("%1 drive %2").arg(where, text(kw)));
        }
    }
    if (kw == "DISMODE" && words.size() == 2 && (words[1] == "0" || words[1] == "1")) {
        card.seamless = words[1] == "1" ? 1 : 0;
        return understood(cmd, QStringLiteral("%1 seamless %2").arg(where, text(words[1])));
    }
    if (kw == "SETLD" && words.size() == 2)
        return setBrightness(cmd, where, words[1], card.brightness);
    if (kw == "OUTSPLIT" && words.size() == 5) {
        int n[4] = {};
        for (int i = 0; i < 4; ++i)
            if (!toNumber(words[i + 1], &n[i]) || n[i] < 1 || n[i] > WallMax)
                return refused(cmd,
                               QStringLiteral("%1 OUTSPLIT: '%2' not in 1..%3")
                                   .arg(where, text(words[i + 1]))
                                   .arg(WallMax));
        // A screen cannot sit outside its own wall; the console leaves this
        // unchecked, so the device is where it shows up.
        if (n[2] > n[0] || n[3] > n[1])
            return refused(cmd,
                           QStringLiteral("%1 OUTSPLIT: position %2,%3 outside a %4x%5 wall")
                               .arg(where)
                               .arg(n[2])
                               .arg(n[3])
                               .arg(n[0])
                               .arg(n[1]));
        card.wall = WallPosition {n[0], n[1], n[2], n[3]};
        return understood(cmd,
                          QStringLiteral("%1 wall %2x%3 at column %4, row %5")
                              .arg(where)
                              .arg(n[0])
                              .arg(n[1])
                              .arg(n[2])
                              .arg(n[3]));
    }
    if (words.size() == 1 && (keywordIn(kInputSources, kw) || isEdidKeyword(kw)))
        return refused(cmd, QStringLiteral("%1: %2 is an input-card keyword").arg(where, text(kw)));
    if (kw == "OUTRES")
        return refused(cmd, QStringLiteral("%1: OUTRES is an input-card keyword").arg(where));
    return refused(cmd, QStringLiteral("%1: unknown keyword %2").arg(where, text(words.join(' '))));
}

// SETLD reads the same on both kinds of card.
MatrixDevice::Outcome MatrixDevice::setBrightness(const QByteArray &cmd, const QString &where,
                                                  const QByteArray &word, int &brightness)
{
    int value = 0;
    if (!toNumber(word, &value) || value < BrightnessMin || value > BrightnessMax)
        return refused(cmd,
                       QStringLiteral("%1 SETLD: brightness '%2' not in %3..%4")
                           .arg(where, text(word))
                           .arg(BrightnessMin)
                           .arg(BrightnessMax));
    brightness = value;
    return understood(cmd, QStringLiteral("%1 brightness %2").arg(where).arg(value));
}

MatrixDevice::Outcome MatrixDevice::handleInputKeyword(const QByteArray &cmd, int port,
                                                       const QList<QByteArray> &words)
{
    InputCard &card = m_state.inputCards[port - 1];
    const QByteArray &kw = words.first();
    const QString where = QStringLiteral("input %1").arg(port);

    if (words.size() == 1) {
        if (const Resolution *r = resolutionByKeyword(kw)) {
            if (!r->inputCardToo)
                return refused(
                    cmd, QStringLiteral("%1: %2 is not an input resolution").arg(where, text(kw)));
            card.resolution = kw;
            return understood(cmd, QStringLiteral("%1 resolution %2").arg(where, text(kw)));
        }
        if (keywordIn(kInputSources, kw)) {
            card.source = kw;
            return understood(cmd, QStringLiteral("%1 source %2").arg(where, text(kw)));
        }
        if (isEdidKeyword(kw)) {
            card.edidKeyword = kw;
            card.edidCopyMonitor = 0;
            return understood(cmd, QStringLiteral("%1 EDID %2").arg(where, text(kw)));
        }
    }
    if (kw == "OUTRES" && words.size() == 2 && words[1].size() == 1 && words[1].at(0) >= '1'
        && words[1].at(0) <= '4') {
        card.resolutionNumber = words[1].at(0) - '0';
        return understood(cmd,
                          QStringLiteral("%1 resolution number %2").arg(where, text(words[1])));
    }
    if (kw == "SETLD" && words.size() == 2)
        return setBrightness(cmd, where, words[1], card.brightness);
    if (words.size() == 1 && (keywordIn(kOutputModes, kw) || keywordIn(kOutputDrives, kw)))
        return refused(cmd,
                       QStringLiteral("%1: %2 is an output-card keyword").arg(where, text(kw)));
    if (kw == "DISMODE" || kw == "OUTSPLIT")
        return refused(cmd,
                       QStringLiteral("%1: %2 is an output-card keyword").arg(where, text(kw)));
    return refused(cmd, QStringLiteral("%1: unknown keyword %2").arg(where, text(words.join(' '))));
}

// "*@<address>,<ccc>!". Inputs are addressed by their port number, outputs by
// port + 64; the code says which card is meant.
MatrixDevice::Outcome MatrixDevice::handleCode(const QByteArray &cmd)
{
    const QList<QByteArray> parts = cmd.mid(2, cmd.size() - 3).split(',');
    int address = 0;
    int code = 0;
    if (parts.size() != 2 || !toNumber(parts[0], &address) || parts[1].size() != 3
        || !toNumber(parts[1], &code))
        return refused(cmd, QStringLiteral("malformed code command: expected *@ADDRESS,CCC!"));

    for (const Keyword &k : kInputSources) {
        if (k.code != code)
            continue;
        if (address < 1 || address > m_state.inputs)
            return refused(cmd,
                           QStringLiteral("code %1: input %2 out of range 1..%3")
                               .arg(code)
                               .arg(address)
                               .arg(m_state.inputs));
        m_state.inputCards[address - 1].source = k.keyword;
        return understood(cmd,
                          QStringLiteral("input %1 source %2 (code %3)")
                              .arg(address)
                              .arg(QLatin1String(k.keyword))
                              .arg(code));
    }

    const OutputCodeEffect effect = outputCodeEffect(code);
    if (effect.field == OutputCodeEffect::None)
        return refused(cmd, QStringLiteral("code %1 is not in the vocabulary").arg(code));
    const int port = address - OutputAddressOffset;
    if (port < 1 || port > m_state.outputs)
        return refused(cmd,
                       QStringLiteral("code %1: address %2 is not an output address (65..%3)")
                           .arg(code)
                           .arg(address)
                           .arg(m_state.outputs + OutputAddressOffset));
    OutputCard &card = m_state.outputCards[port - 1];
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
    return understood(
        cmd,
        QStringLiteral("output %1 %2 (code %3)").arg(port).arg(text(effect.keyword)).arg(code));
}

// "*S<input><two-digit preset>!": the last two digits are the preset.
MatrixDevice::Outcome MatrixDevice::handleEdidPreset(const QByteArray &cmd)
{
    const QByteArray digits = cmd.mid(2, cmd.size() - 3);
    if (digits.size() < 3 || !isDigits(digits))
        return refused(cmd, QStringLiteral("malformed EDID preset: expected *S<INPUT><CC>!"));
    int input = 0;
    toNumber(digits.left(digits.size() - 2), &input);
    const int preset = digits.right(2).toInt();
    if (std::find(std::begin(kEdidPresets), std::end(kEdidPresets), preset)
        == std::end(kEdidPresets))
        return refused(
            cmd,
            QStringLiteral("EDID preset %1 is not in the vocabulary").arg(text(digits.right(2))));
    if (input < 1 || input > m_state.inputs)
        return refused(cmd,
                       QStringLiteral("EDID preset: input %1 out of range 1..%2")
                           .arg(input)
                           .arg(m_state.inputs));
    InputCard &card = m_state.inputCards[input - 1];
    card.edidPreset = preset;
    card.edidCopyMonitor = 0;
    return understood(
        cmd, QStringLiteral("input %1 EDID preset %2").arg(input).arg(text(digits.right(2))));
}

// "*E<input><monitor>!" has no separator between the two numbers. The device
// tries every split and keeps those where both numbers name existing ports.
// One fit is applied: "123" on a 16x16 device can only be input 12 from
// output 3, since there is no output 23. Several fits ("123" on a 32x32
// device: 12 from 3, or 1 from 23) are understood but change nothing: the
// console always follows the copy command with "*:<monitor> CPEDID <input>!",
// which names both ports unambiguously and settles it.
MatrixDevice::Outcome MatrixDevice::handleEdidCopy(const QByteArray &cmd)
{
    const QByteArray digits = cmd.mid(2, cmd.size() - 3);
    if (digits.size() < 2 || !isDigits(digits))
        return refused(cmd, QStringLiteral("malformed EDID copy: expected *E<INPUT><OUTPUT>!"));
    QVector<QPair<int, int>> fits;
    for (int split = 1; split < digits.size(); ++split) {
        int input = 0;
        int monitor = 0;
        toNumber(digits.left(split), &input);
        toNumber(digits.mid(split), &monitor);
        if (input >= 1 && input <= m_state.inputs && monitor >= 1 && monitor <= m_state.outputs)
            fits.append({input, monitor});
    }
    if (fits.isEmpty())
        return refused(
            cmd,
            QStringLiteral("EDID copy: no split of %1 names an input (1..%2) and an output (1..%3)")
                .arg(text(digits))
                .arg(m_state.inputs)
                .arg(m_state.outputs));
    if (fits.size() > 1) {
        QStringList choices;
        for (const auto &f : fits)
            choices << QStringLiteral("input %1 from output %2").arg(f.first).arg(f.second);
        return understood(cmd,
                          QStringLiteral("EDID copy ambiguous, nothing changed: %1")
                              .arg(choices.join(QStringLiteral(" or "))));
    }
    InputCard &card = m_state.inputCards[fits.first().first - 1];
    card.edidCopyMonitor = fits.first().second;
    card.edidPreset = 0;
    card.edidKeyword.clear();
    return understood(cmd,
                      QStringLiteral("input %1 EDID copied from output %2")
                          .arg(fits.first().first)
                          .arg(fits.first().second));
}

// ---------------------------------------------------------------- replies

QByteArray MatrixDevice::modelText() const
{
    // The console finds the "x" at the fifth character and reads the counts
    // counting from the end of the reply: inputs 10 and 9 bytes before the
    // end, outputs 7 and 6 bytes before it. Five bytes follow the outputs.
    return QByteArray("HDMIx") + twoDigits(m_state.inputs) + '-' + twoDigits(m_state.outputs)
        + "-SIM0";
}

QByteArray MatrixDevice::infoReply() const
{
    return QByteArray(1, m_state.letter) + ':' + '\x04' + modelText();
}

QByteArray MatrixDevice::routingMapReply() const
{
    QByteArray reply(1, m_state.letter);
    reply += ':';
    for (int k = 0; k < m_state.outputs; ++k)
        reply += twoDigits(m_state.routing.at(k));
    return reply;
}

// ---------------------------------------------------------------- state

int MatrixDevice::routeOf(int output) const
{
    return (output >= 1 && output <= MaxPorts) ? m_state.routing.at(output - 1) : 0;
}

QVector<int> MatrixDevice::routing() const
{
    return m_state.routing.mid(0, m_state.outputs);
}

QVector<int> MatrixDevice::plan(int number) const
{
    return (number >= 1 && number <= PlanCount) ? m_state.plans.at(number - 1) : QVector<int>();
}

MatrixDevice::OutputCard MatrixDevice::outputCard(int port) const
{
    return (port >= 1 && port <= MaxPorts) ? m_state.outputCards.at(port - 1) : OutputCard();
}

MatrixDevice::InputCard MatrixDevice::inputCard(int port) const
{
    return (port >= 1 && port <= MaxPorts) ? m_state.inputCards.at(port - 1) : InputCard();
}

bool MatrixDevice::setPortCounts(int inputs, int outputs)
{
    if (inputs < 1 || inputs > MaxPorts || outputs < 1 || outputs > MaxPorts)
        return false;
    m_state.inputs = inputs;
    m_state.outputs = outputs;
    normaliseRouting();
    return true;
}

bool MatrixDevice::setLetter(char letter)
{
    if (letter < 'A' || letter > 'H')
        return false;
    m_state.letter = letter;
    return true;
}

bool MatrixDevice::setRoute(int output, int input)
{
    if (output < 1 || output > m_state.outputs || input < 1 || input > m_state.inputs)
        return false;
    m_state.routing[output - 1] = input;
    return true;
}

// Routes that name an input the device no longer has fall back to the
// power-on routing (output k from input k, or input 1); all others are kept,
// also for outputs beyond the current count, so that growing the count
// again brings them back.
void MatrixDevice::normaliseRouting()
{
    for (int k = 1; k <= MaxPorts; ++k) {
        int &route = m_state.routing[k - 1];
        if (route < 1 || route > m_state.inputs)
            route = defaultRouteOf(k, m_state.inputs);
    }
}
