#include "sim/simprotocol.h"

#include "core/base/clock.h"

SimProtocol::SimProtocol(Clock &clock, const SimFaults &faults, QObject *parent)
    : QObject(parent), m_clock(clock), m_timer(clock.createTimer(this)), m_faults(faults)
{
}

bool SimProtocol::faultIn(int n)
{
    if (m_naksGiven < m_faults.nak) {
        ++m_naksGiven;
        emit report(QStringLiteral("block %1: NAK on purpose (%2 of %3)")
                        .arg(n)
                        .arg(m_naksGiven)
                        .arg(m_faults.nak));
        return true;
    }
    if (m_corrupted || n != m_faults.corruptBlock) return false;
    m_corrupted = true;
    emit report(QStringLiteral("block %1: taken as damaged on purpose, NAK").arg(n));
    return true;
}

bool SimProtocol::faultOut(int n)
{
    if (m_corrupted || n != m_faults.corruptBlock) return false;
    m_corrupted = true;
    emit report(QStringLiteral("block %1: sent damaged on purpose").arg(n));
    return true;
}

QString SimProtocol::blocks(int count, int repeated)
{
    return QStringLiteral("%1 block%2, %3 repeated")
        .arg(count)
        .arg(count == 1 ? "" : "s")
        .arg(repeated);
}

void SimProtocol::write(const QByteArray &bytes)
{
    if (toPc) toPc(bytes);
}
