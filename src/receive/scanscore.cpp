#include "receive/scanscore.h"

bool ScanScore::plausible(quint8 c)
{
    c &= 0x7f; // 7-bit data with parity read as 8 bits scores the same
    return c == 10 || c == 13 || (c >= 32 && c <= 90);
}

ScanVerdict ScanScore::feed(quint8 c)
{
    ScanVerdict v;
    if (c < Ignored) return v;
    v.shown = true;
    if (!m_gotSpeed) {
        if (plausible(c)) {
            if (m_err > AcceptScore) --m_err;
        } else if (m_err < RejectScore) {
            ++m_err;
        }
        if (m_err >= RejectScore) {
            v.nextSpeed = true;
            m_err = StartScore;
        }
        if (m_err == AcceptScore) {
            m_gotSpeed = true;
            v.speedFound = true;
        }
        return v;
    }
    if (c > 127 && ++m_parity > TopBitLimit) {
        v.sevenEven = true;
        m_parity = 0;
    }
    return v;
}
