#include "sim/matrixdevice.h"

#include "sim/devicecommands.h"

#include <algorithm>

namespace {

// Counts and routes are 1..99; every reply of a flood passes here.
void appendTwoDigits(QByteArray &out, int n)
{
    out += static_cast<char>('0' + n / 10 % 10);
    out += static_cast<char>('0' + n % 10);
}

} // namespace

MatrixDevice::MatrixDevice(int inputs, int outputs, char letter)
{
    m_state.inputs = std::clamp(inputs, 1, maxPorts);
    m_state.outputs = std::clamp(outputs, 1, maxPorts);
    m_state.letter = (letter >= 'A' && letter <= 'H') ? letter : 'A';
    m_state.routing.resize(maxPorts);
    for (int k = 1; k <= maxPorts; ++k)
        m_state.routing[k - 1] = defaultRouteOf(k, m_state.inputs);
    m_state.plans.resize(planCount);
    m_state.outputCards.resize(maxPorts);
    m_state.inputCards.resize(maxPorts);
}

// ---------------------------------------------------------------- framing

QVector<MatrixDevice::Outcome> MatrixDevice::feed(Session &session, const QByteArray &bytes)
{
    QVector<Outcome> out;
    Outcome o;
    for (int pos = 0; feedOne(session, bytes, &pos, &o);)
        out << o;
    return out;
}

bool MatrixDevice::feedOne(Session &session, const QByteArray &bytes, int *pos, Outcome *outcome)
{
    CommandFramer::Piece piece;
    if (!session.take(bytes, pos, &piece))
        return false;
    *outcome = fromPiece(piece);
    return true;
}

QVector<MatrixDevice::Outcome> MatrixDevice::flush(Session &session)
{
    QVector<Outcome> out;
    CommandFramer::Piece piece;
    while (session.flush(&piece))
        out << fromPiece(piece);
    return out;
}

MatrixDevice::Outcome MatrixDevice::fromPiece(const CommandFramer::Piece &piece)
{
    if (piece.kind == CommandFramer::Piece::Command)
        return handleCommand(piece.bytes);
    Outcome o;
    o.kind = piece.kind == CommandFramer::Piece::Garbage ? Outcome::Garbage : Outcome::Incomplete;
    o.bytes = piece.bytes;
    o.description = piece.why;
    return record(o);
}

// ---------------------------------------------------------------- commands

MatrixDevice::Outcome MatrixDevice::handleCommand(const QByteArray &cmd)
{
    using namespace devicecommands;
    CommandResult result;
    if (cmd.size() < 2 || !cmd.startsWith('*') || !cmd.endsWith('!'))
        result = CommandResult::refused(QStringLiteral("not a command frame"));
    else if (cmd == "*?!")
        result = CommandResult::done(QStringLiteral("device information"), Outcome::Information);
    else if (cmd == "*!")
        result = CommandResult::done(QStringLiteral("routing map"), Outcome::RoutingMap);
    else if (cmd.at(1) >= '0' && cmd.at(1) <= '9')
        result = handleSwitch(m_state, cmd);
    else if (cmd.at(1) == '>')
        result = handleCard(m_state, cmd);
    else if (cmd.at(1) == '@')
        result = handleCode(m_state, cmd);
    else if (cmd.at(1) == 'S')
        result = handleEdidPreset(m_state, cmd);
    else if (cmd.at(1) == 'E')
        result = handleEdidCopy(m_state, cmd);
    else if (cmd.at(1) == ':')
        result = handleDeviceCommand(m_state, cmd);
    else
        result = CommandResult::refused(QStringLiteral("unknown command"));

    Outcome o;
    o.bytes = cmd;
    o.understood = result.understood;
    o.description = result.description;
    o.replyKind = result.understood ? result.reply : Outcome::NoReply;
    if (o.replyKind == Outcome::Information)
        o.reply = infoReply();
    else if (o.replyKind == Outcome::RoutingMap)
        o.reply = routingMapReply();
    return record(o);
}

MatrixDevice::Outcome MatrixDevice::record(Outcome outcome)
{
    m_records.append(outcome);
    if (m_records.size() > m_recordLimit + m_recordLimit / 8)
        m_records.remove(0, m_records.size() - m_recordLimit);
    return outcome;
}

void MatrixDevice::setRecordLimit(int limit)
{
    m_recordLimit = std::max(1, limit);
    if (m_records.size() > m_recordLimit)
        m_records.remove(0, m_records.size() - m_recordLimit);
}

// ---------------------------------------------------------------- replies

QByteArray MatrixDevice::modelText() const
{
    // The console finds the "x" at the fifth character and reads the counts
    // counting from the end of the reply: inputs 10 and 9 bytes before the
    // end, outputs 7 and 6 bytes before it. Five bytes follow the outputs.
    QByteArray text("HDMIx");
    appendTwoDigits(text, m_state.inputs);
    text += '-';
    appendTwoDigits(text, m_state.outputs);
    return text + "-SIM0";
}

QByteArray MatrixDevice::infoReply() const
{
    return QByteArray(1, m_state.letter) + ':' + '\x04' + modelText();
}

QByteArray MatrixDevice::routingMapReply() const
{
    // Written in place: every switch of a flood builds one.
    QByteArray reply(2 + 2 * m_state.outputs, Qt::Uninitialized);
    char *out = reply.data();
    *out++ = m_state.letter;
    *out++ = ':';
    for (int k = 0; k < m_state.outputs; ++k) {
        const int input = m_state.routing.at(k);
        *out++ = static_cast<char>('0' + input / 10 % 10);
        *out++ = static_cast<char>('0' + input % 10);
    }
    return reply;
}

// ---------------------------------------------------------------- state

int MatrixDevice::routeOf(int output) const
{
    return (output >= 1 && output <= maxPorts) ? m_state.routing.at(output - 1) : 0;
}

QVector<int> MatrixDevice::routing() const
{
    return m_state.routing.mid(0, m_state.outputs);
}

QVector<int> MatrixDevice::plan(int number) const
{
    return (number >= 1 && number <= planCount) ? m_state.plans.at(number - 1) : QVector<int>();
}

MatrixDevice::OutputCard MatrixDevice::outputCard(int port) const
{
    return (port >= 1 && port <= maxPorts) ? m_state.outputCards.at(port - 1) : OutputCard();
}

MatrixDevice::InputCard MatrixDevice::inputCard(int port) const
{
    return (port >= 1 && port <= maxPorts) ? m_state.inputCards.at(port - 1) : InputCard();
}

bool MatrixDevice::setPortCounts(int inputs, int outputs)
{
    return devicecommands::setPortCounts(m_state, inputs, outputs);
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
