#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The Telnet side of a network serial server (RFC 854 with the
// COM-PORT-OPTION), kept apart from the socket so that any byte stream can
// be run through it.
namespace Telnet
{
constexpr quint8 SE = 240, NOP = 241, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254,
                 IAC = 255;
constexpr quint8 BINARY = 0, SGA = 3, COM_PORT = 44;

// Data as it travels: every 0xFF doubled.
QByteArray escaped(QByteArray bytes);

// Splits what a server sends into data, option negotiation and
// subnegotiations, whatever pieces it arrives in. Memory held between
// pieces is bounded: a subnegotiation longer than MaxSubnegotiation is an
// error, not a buffer that grows with whatever follows.
class Decoder
{
public:
    // Longer than any COM-PORT-OPTION message, with room for a server's
    // signature text.
    static constexpr qsizetype MaxSubnegotiation = 512;

    struct Handler {
        virtual ~Handler() = default;
        // WILL, WONT, DO or DONT `option`. False stops decoding.
        virtual bool command(quint8 verb, quint8 option) = 0;
        // A whole subnegotiation, between IAC SB and IAC SE, undoubled.
        virtual bool subnegotiation(QByteArrayView sub) = 0;
    };
    enum class Result { Done, Stopped, TooLong };

    // Appends the data in `bytes` to `data` and hands the rest to `handler`.
    Result decode(QByteArrayView bytes, QByteArray &data, Handler &handler);
    bool inSubnegotiation() const;
    // Bytes kept for a subnegotiation not ended yet.
    qsizetype held() const { return m_sub.size(); }
    void reset();

private:
    enum class State : quint8 { Data, Iac, Verb, Sub, SubIac, SubVerb };

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
};
} // namespace Telnet
