#include "core/sending/flowwatch.h"

namespace
{
constexpr char DC1 = 0x11;
constexpr char DC3 = 0x13;
constexpr char NAK = 0x15;
constexpr char SYN = 0x16;
} // namespace

FlowWatch::Heard FlowWatch::hear(QByteArrayView bytes, bool startWait, bool portHeld)
{
    Heard heard;
    m_dc3 = m_dc3 || (portHeld && m_flow == FlowMode::XonXoff);
    // Every byte counts, so a DC3 is never missed because another byte
    // followed it before the next character was due.
    for (const char c : bytes) {
        // The byte that ends the start wait counts even when others follow
        // it in the same read; from it on, DC3 and DC1 are obeyed.
        if (startWait && !m_watching) {
            if (m_flow == FlowMode::StartOnAnyByte) {
                m_watching = true;
                heard.sign = 1;
            } else if (c == DC1) {
                m_watching = true;
            }
        }
        if (!m_watching) continue;
        if (c == DC3 || c == DC1) heard.hold = c == DC3;
        m_dc3 = m_dc3 || c == DC3;
        if (m_dc3 && (c == SYN || c == NAK)) {
            heard.answer = c == SYN ? Answer::Reset : Answer::Alarm;
            return heard;
        }
    }
    return heard;
}
