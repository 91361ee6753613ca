#include "core/protocols/xmodemsender.h"

#include "core/base/clock.h"
#include "core/protocols/xmodem.h"

#include <algorithm>

using namespace Xmodem;

XmodemSender::XmodemSender(QByteArray bytes, QList<qint64> lineEnds, Writer write, Clock &clock,
                           QObject *parent)
    : ProtocolTransfer(parent), m_bytes(std::move(bytes)), m_lineEnds(std::move(lineEnds)),
      m_write(std::move(write)), m_timer(clock.createTimer(this))
{
    connect(m_timer, &Timer::timeout, this, [this] {
        if (m_state == State::Asked)
            fail(QStringLiteral("the machine did not ask for the program within %1 s")
                     .arg(StartWaitMs / 1000),
                 true);
        else
            retry(QStringLiteral("did not answer"));
    });
}

int XmodemSender::linesDone() const
{
    return int(std::upper_bound(m_lineEnds.begin(), m_lineEnds.end(), m_acked) -
               m_lineEnds.begin());
}

void XmodemSender::start()
{
    m_state = State::Asked;
    m_timer->start(StartWaitMs);
    emit progressed();
}

void XmodemSender::feed(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (!isRunning()) return;
        // One CAN may be line noise; two in a row are the receiver giving up.
        if (c == Can && m_lastCan) return fail(QStringLiteral("the machine cancelled the transfer"), false);
        m_lastCan = c == Can;
        answer(c);
    }
}

void XmodemSender::answer(char c)
{
    switch (m_state) {
    case State::Asked:
        if (c != Nak && c != Crc) return;
        m_crc = c == Crc;
        return m_bytes.isEmpty() ? sendEot() : sendBlock();
    case State::Block:
        if (c == Ack) {
            m_acked = std::min<qint64>(m_acked + BlockBytes, m_bytes.size());
            m_retries = 0;
            emit progressed();
            if (m_acked >= m_bytes.size()) return sendEot();
            if (m_paused) {
                m_timer->stop();
                m_state = State::Held;
                return;
            }
            return sendBlock();
        }
        // A receiver still asking for the first block repeats its "C".
        if (c == Nak || (c == Crc && m_acked == 0)) retry(QStringLiteral("refused"));
        return;
    case State::Eot:
        if (c == Ack) return finish(ProtocolOutcome::Completed);
        if (c == Nak) retry(QStringLiteral("refused"));
        return;
    default:
        return;
    }
}

void XmodemSender::sendBlock()
{
    m_state = State::Block;
    const int number = int((m_acked / BlockBytes + 1) & 0xff);
    if (!m_write(block(number, QByteArrayView(m_bytes).sliced(m_acked, qMin<qint64>(BlockBytes, m_bytes.size() - m_acked)), m_crc)))
        return fail(QStringLiteral("the port would not take the data"), false);
    m_timer->start(AnswerMs);
}

void XmodemSender::sendEot()
{
    m_state = State::Eot;
    if (!m_write(QByteArray(1, Eot))) return fail(QStringLiteral("the port would not take the data"), false);
    m_timer->start(AnswerMs);
}

void XmodemSender::retry(const QString &what)
{
    const QString which = m_state == State::Eot
                              ? QStringLiteral("the end of the transfer")
                              : QStringLiteral("block %1").arg(m_acked / BlockBytes + 1);
    if (++m_retries > MaxRetries)
        return fail(QStringLiteral("the machine %1 %2 after %3 retries").arg(what, which).arg(MaxRetries),
                    true);
    m_state == State::Eot ? sendEot() : sendBlock();
}

void XmodemSender::stop()
{
    if (!isRunning()) return;
    (void)m_write(cancel());
    finish(ProtocolOutcome::Stopped);
}

void XmodemSender::setPaused(bool paused)
{
    m_paused = paused;
    if (!paused && m_state == State::Held) sendBlock();
}

void XmodemSender::portLost()
{
    if (isRunning()) finish(ProtocolOutcome::PortLost);
}

void XmodemSender::fail(const QString &why, bool tellPeer)
{
    if (tellPeer) (void)m_write(cancel());
    m_why = why;
    finish(ProtocolOutcome::Failed);
}

void XmodemSender::finish(ProtocolOutcome outcome)
{
    m_timer->stop();
    m_state = State::Done;
    emit finished(outcome);
}
