// The Telnet receive path of a network serial port, fed in pieces of any
// size. The first byte picks what the rest is:
//   even: data, sent escaped; what comes out must be exactly the data, and
//         no command may be seen in it;
//   odd:  bytes as a hostile server may send them; nothing may crash and
//         what is held between pieces stays within its bound.
// The second byte says how many of the following bytes are piece lengths.

#include "core/ports/telnetcodec.h"

#include <cstdint>
#include <cstdlib>

namespace
{

struct Checks : Telnet::Decoder::Handler {
    int seen = 0;
    bool command(quint8 verb, quint8) override
    {
        if (verb < Telnet::WILL || verb > Telnet::DONT) std::abort();
        ++seen;
        return true;
    }
    bool subnegotiation(QByteArrayView sub) override
    {
        if (sub.size() > Telnet::Decoder::MaxSubnegotiation) std::abort();
        ++seen;
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    if (size < 2) return 0;
    const bool hostile = bytes[0] & 1;
    const size_t pieces = std::min<size_t>(bytes[1], size - 2);
    const QByteArrayView lengths(bytes + 2, qsizetype(pieces));
    const QByteArrayView payload(bytes + 2 + pieces, qsizetype(size - 2 - pieces));
    const QByteArray stream =
        hostile ? payload.toByteArray() : Telnet::escaped(payload.toByteArray());

    Telnet::Decoder decoder;
    Checks checks;
    QByteArray data;
    qsizetype at = 0;
    for (qsizetype i = 0; at < stream.size(); ++i) {
        // Lengths 0 to 255, then the rest whole.
        const qsizetype n = i < lengths.size() ? quint8(lengths[i]) : stream.size() - at;
        const qsizetype before = data.size();
        const auto result = decoder.decode(
            QByteArrayView(stream).sliced(at, qMin(n, stream.size() - at)), data, checks);
        if (data.size() - before > n) std::abort(); // data only ever shrinks
        if (decoder.held() > Telnet::Decoder::MaxSubnegotiation) std::abort();
        if (result == Telnet::Decoder::Result::TooLong) {
            if (!hostile) std::abort();
            decoder.reset();
        }
        at += qMin(n, stream.size() - at);
    }
    if (!hostile && (data != payload || checks.seen != 0 || decoder.inSubnegotiation()))
        std::abort();
    return 0;
}
