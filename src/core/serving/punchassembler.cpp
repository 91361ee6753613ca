#include "core/serving/punchassembler.h"

#include "core/base/clock.h"

#include <utility>

static bool leaderOrDc(char c)
{
    return c == '\0' || (c >= 17 && c <= 20);
}

PunchAssembler::PunchAssembler(Clock &clock, qsizetype maxBytes, QObject *parent)
    : QObject(parent), m_silence(clock.createTimer(this)), m_max(qMax<qsizetype>(1, maxBytes))
{
    connect(m_silence, &Timer::timeout, this, &PunchAssembler::finish);
}

void PunchAssembler::setEndCode(const QString &decimal)
{
    bool ok = false;
    const int code = decimal.trimmed().toInt(&ok);
    m_end = (ok && code >= 0 && code <= 255) ? code : -1;
}

bool PunchAssembler::passedOver(char c) const
{
    // An end code of "%" still opens a framed punch.
    return leaderOrDc(c) || c == '\r' || c == '\n' || (isEndCode(c) && c != '%');
}

void PunchAssembler::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty()) return;
    const bool was = inPunch();
    const qint64 before = size();
    for (const char c : bytes) {
        if (c != m_strip) take(c);
    }
    if (inPunch())
        m_silence->start(SilenceMs);
    else
        m_silence->stop();
    if (was != inPunch() || before != size()) emit changed();
}

void PunchAssembler::take(char c)
{
    if (m_state == State::Between) {
        if (passedOver(c)) return;
        m_state = c == '%' ? State::Framed : State::Open;
        m_punch += c;
    } else {
        if (m_punch.size() < m_max)
            m_punch += c;
        else
            ++m_leftOut;
        const bool end = isEndCode(c) || (m_state == State::Framed && c == '%');
        if (end) return hand(State::Between);
    }
}

void PunchAssembler::finish()
{
    m_silence->stop();
    if (!inPunch()) return;
    while (!overflowing() && !m_punch.isEmpty() && leaderOrDc(m_punch.back()))
        m_punch.chop(1);
    hand(State::Between);
    emit changed();
}

void PunchAssembler::cut()
{
    m_silence->stop();
    if (!inPunch()) return;
    if (overflowing()) {
        hand(State::Between);
    } else {
        const QByteArray program = std::exchange(m_punch, {});
        m_state = State::Between;
        emit cutOff(program);
    }
    emit changed();
}

void PunchAssembler::hand(State next)
{
    m_state = next;
    const QByteArray program = std::exchange(m_punch, {});
    const qint64 leftOut = std::exchange(m_leftOut, 0);
    if (leftOut > 0)
        emit tooLarge(program, leftOut);
    else if (!program.isEmpty())
        emit punched(program);
}
