#include "sim/simlink.h"

#include "sim/linkendpoint.h"

SimLink::SimLink(const QString &name, LinkEndpoint *endpoint, bool pty, MatrixDevice &device,
                 const SimServerOptions &options, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_endpoint(endpoint)
    , m_pty(pty)
    , m_device(device)
    , m_pacer(new ReplyPacer(endpoint, options, pty, this))
{
    endpoint->setParent(this);
    connect(endpoint, &LinkEndpoint::readable, this, &SimLink::digestTurn);
    connect(endpoint, &LinkEndpoint::closed, this, &SimLink::hungUp);
    connect(m_pacer, &ReplyPacer::dropped, this, [this](int count) { emit dropped(this, count); });
    connect(m_pacer, &ReplyPacer::idle, this, &SimLink::hangUpWhenIdle);
    m_nextTurn.setSingleShot(true);
    m_nextTurn.setInterval(0);
    connect(&m_nextTurn, &QTimer::timeout, this, &SimLink::digestTurn);
    // A garbage run without a line feed would otherwise only be logged when
    // the next '*' arrives; someone typing at the simulator wants to see it
    // now.
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietAfterMs);
    connect(&m_quiet, &QTimer::timeout, this, &SimLink::goneQuiet);
}

void SimLink::closeWhenDrained()
{
    m_closing = true;
    m_nextTurn.stop();
    hangUpWhenIdle();
}

void SimLink::abort()
{
    m_endpoint->abort();
    finish();
}

// Digests until the input runs out or a limit is reached; true when input
// is left over.
bool SimLink::digest(int maxOutcomes, int maxBytes)
{
    int outcomes = 0;
    int bytes = 0;
    while (outcomes < maxOutcomes && !m_closing && !m_finished) {
        if (m_inputPos >= m_input.size()) {
            if (bytes >= maxBytes)
                break;
            m_input = m_endpoint->read(readChunkBytes);
            m_inputPos = 0;
            if (m_input.isEmpty())
                return false;
            bytes += m_input.size();
        }
        MatrixDevice::Outcome o;
        if (m_device.feedOne(m_session, m_input, &m_inputPos, &o)) {
            ++outcomes;
            emit outcome(this, o);
        }
    }
    return !m_closing && !m_finished && (m_inputPos < m_input.size() || m_endpoint->hasUnread());
}

void SimLink::digestTurn()
{
    if (m_closing || m_finished)
        return;
    if (digest(maxOutcomesPerTurn, maxBytesPerTurn))
        m_nextTurn.start();
    if (!m_finished)
        m_quiet.start();
}

// The other side hung up (or we did): what it sent before is still
// digested, then the connection is done.
void SimLink::hungUp()
{
    while (digest(maxOutcomesPerTurn, maxBytesPerTurn)) { }
    finish();
}

void SimLink::hangUpWhenIdle()
{
    if (m_closing && !m_finished && m_pacer->isIdle())
        m_endpoint->close(); // hungUp() follows on closed()
}

void SimLink::goneQuiet()
{
    if (!m_session.inCommand() && !m_session.pendingBytes().isEmpty())
        handOut(m_device.flush(m_session));
    emit quiet(this);
}

void SimLink::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_nextTurn.stop();
    m_quiet.stop();
    m_pacer->stop();
    handOut(m_device.flush(m_session));
    m_endpoint->abort();
    emit finished(this);
}

void SimLink::handOut(const QVector<MatrixDevice::Outcome> &outcomes)
{
    for (const MatrixDevice::Outcome &o : outcomes)
        emit outcome(this, o);
}
