#include "core/ports/telnetcodec.h"

namespace Telnet
{

QByteArray escaped(QByteArray bytes)
{
    return bytes.replace(char(IAC), QByteArrayView("\xff\xff", 2));
}

bool Decoder::inSubnegotiation() const
{
    return m_state == State::Sub || m_state == State::SubIac || m_state == State::SubVerb;
}

void Decoder::reset()
{
    m_state = State::Data;
    m_sub.clear();
}

Decoder::Result Decoder::decode(QByteArrayView bytes, QByteArray &data, Handler &handler)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_state == State::Data || m_state == State::Sub) {
            // Runs up to the next IAC are taken whole.
            const qsizetype iac = bytes.indexOf(char(IAC), i);
            const QByteArrayView run = bytes.sliced(i, (iac < 0 ? bytes.size() : iac) - i);
            if (m_state == State::Data) {
                data.append(run);
            } else {
                if (m_sub.size() + run.size() > MaxSubnegotiation) return Result::TooLong;
                m_sub.append(run);
            }
            if (iac < 0) break;
            i = iac;
            m_state = m_state == State::Data ? State::Iac : State::SubIac;
            continue;
        }
        const char ch = bytes[i];
        const quint8 c = quint8(ch);
        bool going = true;
        switch (m_state) {
        case State::Data:
        case State::Sub: // taken above
            break;
        case State::Iac:
            m_state = State::Data;
            if (c == IAC) {
                data += ch;
            } else if (c == SB) {
                m_sub.clear();
                m_state = State::Sub;
            } else if (c >= WILL && c <= DONT) {
                m_verb = c;
                m_state = State::Verb;
            } // other commands (NOP, GA, ...) carry nothing for us
            break;
        case State::Verb:
            m_state = State::Data;
            going = handler.command(m_verb, c);
            break;
        case State::SubIac:
            // Only IAC IAC and IAC SE mean anything inside a subnegotiation;
            // any other command is dropped and the subnegotiation goes on.
            m_state = c >= WILL && c <= DONT ? State::SubVerb : State::Sub;
            if (c == IAC) {
                if (m_sub.size() >= MaxSubnegotiation) return Result::TooLong;
                m_sub += ch;
            } else if (c == SE) {
                m_state = State::Data;
                going = handler.subnegotiation(m_sub);
                m_sub.clear();
            }
            break;
        case State::SubVerb: // its option byte, dropped with it
            m_state = State::Sub;
            break;
        }
        if (!going) return Result::Stopped;
    }
    return Result::Done;
}

} // namespace Telnet
