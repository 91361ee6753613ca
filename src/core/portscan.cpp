#include "core/portscan.h"

#include "core/serialport.h"

namespace
{
// Codes below this are neither shown nor scored.
constexpr int kIgnoredBelow = 8;

qint32 nextSpeed(qint32 speed)
{
    switch (speed) {
    case 9600:
        return 4800;
    case 4800:
        return 2400;
    case 2400:
        return 1200;
    case 1200:
        return 600;
    case 600:
        return 9600;
    default:
        return speed;
    }
}
} // namespace

PortScan::PortScan(SerialPort &port, QObject *parent) : QObject(parent), m_port(port) {}

bool PortScan::plausible(quint8 c)
{
    c &= 0x7f; // 7-bit data with parity read as 8 bits scores the same
    return c == 10 || c == 13 || (c >= 32 && c <= 90);
}

void PortScan::start()
{
    m_gotSpeed = false;
    m_topBits = 0;
    m_found = {};
    m_speed = 9600;
    change(Change::None);
    m_error = StartScore;
}

PortScan::Change PortScan::score(quint8 c)
{
    if (!m_gotSpeed) {
        if (plausible(c)) {
            if (m_error > 0) --m_error;
        } else if (m_error < RejectScore) {
            ++m_error;
        }
        if (m_error >= RejectScore) {
            m_error = StartScore;
            return Change::NextSpeed;
        }
        if (m_error == 0) {
            m_gotSpeed = true;
            m_found.speed = m_found.dataBits = m_found.parity = true;
        }
        return Change::None;
    }
    if (c > 127 && ++m_topBits > TopBitLimit) {
        m_topBits = 0;
        m_found.dataBits = m_found.parity = true;
        return Change::SevenEven;
    }
    return Change::None;
}

void PortScan::feed(const QByteArray &bytes)
{
    const ScanFindings before = m_found;
    qsizetype from = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const quint8 c = quint8(bytes[i]);
        if (c < kIgnoredBelow) {
            if (i > from) emit shown(bytes.sliced(from, i - from));
            from = i + 1;
            continue;
        }
        m_found.data = true;
        const Change what = score(c);
        if (what != Change::None) {
            emit shown(bytes.sliced(from, i + 1 - from));
            change(what);
            // The rest was received under the old settings.
            from = bytes.size();
            break;
        }
    }
    if (from < bytes.size()) emit shown(bytes.sliced(from));
    if (m_found != before) emit findingsChanged(m_found);
}

void PortScan::change(Change what)
{
    LineSettings s = m_port.settings();
    QString suffix = QStringLiteral(",n,8,1");
    if (what == Change::SevenEven) {
        s.dataBits = 7;
        s.parity = Parity::Even;
        suffix = QStringLiteral(",e,7,1");
    } else {
        if (what == Change::NextSpeed) m_speed = nextSpeed(m_speed);
        s.speed = m_speed;
        s.dataBits = 8;
        s.parity = Parity::None;
    }
    s.stopBits = 1;
    emit settingsTried(QString::number(m_speed) + suffix);
    m_port.apply(s);
    m_port.flush();
}
