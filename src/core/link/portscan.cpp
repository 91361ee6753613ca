#include "core/link/portscan.h"

#include "core/ports/serialport.h"

#include <bit>

namespace
{
// Codes below this are neither shown nor scored.
constexpr int kIgnoredBelow = 8;
// A format fits what was read under the settings in force when at most one
// character in this many contradicts it (one garbled as the settings changed).
constexpr int kMisfitShare = 16;

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
    m_found = {};
    m_speed = 9600;
    change(Change::None);
}

PortScan::Change PortScan::score(quint8 c)
{
    // Read at 8 data bits, CNC text, being 7-bit, leaves the top bit clear,
    // and 7 data bits with even parity put the parity there. A misframed
    // port reads some other bit there, which mostly fits neither.
    const bool top = c > 127;
    const bool evenParity = top == (std::popcount(c & 0x7fu) % 2 == 1);
    ++m_chars;
    m_topSet += top;
    m_notEven += !evenParity;
    m_notOdd += evenParity; // each character fits exactly one of the two
    const auto fits = [this](int misfits) { return misfits * kMisfitShare <= m_chars; };
    if (!m_gotSpeed) {
        // A top bit is judged by the parity that has fitted best so far.
        const bool parityFits = m_notEven <= m_notOdd ? evenParity : !evenParity;
        if (plausible(c) && (!top || parityFits)) {
            if (m_error > 0) --m_error;
        } else if (m_error < RejectScore) {
            ++m_error;
        }
        if (m_error >= RejectScore) return Change::NextSpeed;
        // Each character may fit one format or the other; the text must fit one.
        if (m_error == 0 && !fits(m_topSet) && !fits(m_notEven) && !fits(m_notOdd))
            return Change::NextSpeed;
        if (m_error == 0) {
            m_gotSpeed = m_found.speed = true;
            m_found.dataBits = m_found.parity = fits(m_topSet);
        }
        return Change::None;
    }
    if (!top) return Change::None;
    if (!fits(m_topSet)) m_found.dataBits = m_found.parity = false; // not 8-bit CNC text
    if (++m_topBits <= TopBitLimit) return Change::None;
    if (fits(m_notEven) || fits(m_notOdd)) {
        m_found.dataBits = m_found.parity = true;
        return fits(m_notEven) ? Change::SevenEven : Change::SevenOdd;
    }
    // Misframed after all: another speed moves the receiver off these frames,
    // and a format read from misframed text was never found either.
    m_gotSpeed = false;
    m_found.speed = m_found.dataBits = m_found.parity = false;
    return Change::NextSpeed;
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
    if (what == Change::SevenEven || what == Change::SevenOdd) {
        s.dataBits = 7;
        s.parity = what == Change::SevenEven ? Parity::Even : Parity::Odd;
        suffix = what == Change::SevenEven ? QStringLiteral(",e,7,1") : QStringLiteral(",o,7,1");
    } else {
        if (what == Change::NextSpeed) m_speed = nextSpeed(m_speed);
        s.speed = m_speed;
        s.dataBits = 8;
        s.parity = Parity::None;
    }
    s.stopBits = 1;
    m_error = StartScore;
    m_topBits = m_chars = m_topSet = m_notEven = m_notOdd = 0;
    emit settingsTried(QString::number(m_speed) + suffix);
    m_port.apply(s);
    m_port.flush();
}
