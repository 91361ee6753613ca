#include "sim/simline.h"

#include "core/clock.h"
#include "sim/simcontrol.h"

SimLine::SimLine(Clock &clock, SimControl &control, QObject *parent)
    : QObject(parent), m_clock(clock), m_control(control), m_timer(clock.createTimer(this))
{
    connect(m_timer, &Timer::timeout, this, &SimLine::advance);
}

void SimLine::setObeysXon(bool obeys)
{
    m_obeysXon = obeys;
    if (!obeys && m_stopNs != Never) {
        m_stopNs = Never;
        startNext(m_clock.nowNs());
    }
}

void SimLine::add(const QByteArray &bytes)
{
    m_queue += bytes.first(qMin(bytes.size(), room()));
    startNext(m_clock.nowNs());
}

void SimLine::controlSent(const QByteArray &bytes, qint64 ns)
{
    for (const char c : bytes) {
        if (!m_obeysXon || (c != '\x13' && c != '\x11')) continue;
        m_stopNs = c == '\x13' ? ns + m_charNs : Never;
        startNext(ns);
    }
}

void SimLine::startNext(qint64 ns)
{
    ns = qMax(ns, m_clock.nowNs());
    if (m_doneNs == Never && ns < m_stopNs && queued() > 0) {
        m_doneNs = ns + m_charNs;
        m_timer->startNs(m_doneNs - m_clock.nowNs());
    }
}

void SimLine::advance()
{
    const bool wasFull = room() == 0;
    QByteArray kept;
    while (m_doneNs <= m_clock.nowNs()) {
        const qint64 t = m_doneNs;
        const char c = m_queue.at(m_head++);
        m_doneNs = Never;
        if (m_control.receive(c, t)) kept += c; // may send DC3, which stops the line
        if (t < m_stopNs && queued() > 0) m_doneNs = t + m_charNs;
    }
    if (m_head > MaxQueued) { // drop what has gone, now and then
        m_queue.remove(0, m_head);
        m_head = 0;
    }
    if (m_doneNs != Never) m_timer->startNs(m_doneNs - m_clock.nowNs());
    if (!kept.isEmpty()) emit taken(kept);
    if (wasFull && room() > 0) emit roomAgain();
}
