#include "core/link/receivesession.h"

#include "core/base/clock.h"

ReceiveSession::ReceiveSession(Clock &clock, QObject *parent)
    : QObject(parent), m_show(clock.createTimer(this)), m_silence(clock.createTimer(this))
{
    m_silence->setObjectName(QStringLiteral("tmrRX_Timeout"));
    connect(m_show, &Timer::timeout, this, [this] { handOn(false); });
    connect(m_silence, &Timer::timeout, this, &ReceiveSession::endBurst);
}

bool ReceiveSession::inBurst() const
{
    return m_silence->isActive();
}

void ReceiveSession::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty()) return;
    QByteArray kept = bytes;
    kept.removeIf([strip = m_strip](char c) { return c == strip; });
    m_pending += kept;
    if (!m_pending.isEmpty() && !m_show->isActive()) m_show->start(ShowEveryMs);
    m_silence->start(SilenceMs);
}

void ReceiveSession::handOn(bool all)
{
    m_show->stop();
    qsizetype n = m_pending.size();
    if (!all) {
        while (n > 0 && quint8(m_pending.at(n - 1)) <= 13)
            --n;
    }
    if (n == 0) return;
    const QByteArray piece = m_pending.left(n);
    m_pending.remove(0, n);
    emit text(piece);
}

void ReceiveSession::endBurst()
{
    handOn(true);
    emit burstEnded();
}

void ReceiveSession::flush()
{
    m_silence->stop();
    handOn(true);
}

void ReceiveSession::discard()
{
    m_show->stop();
    m_silence->stop();
    m_pending.clear();
}
