// What an EIA machine's line brings, in arbitrary bytes and pieces: the
// decoder hands on every byte exactly once, in order, each as it came or
// as the ISO character of its EIA row; it holds back no more than the
// decision needs; and every character EIA has a code for reads back.

#include "core/tapecode/eiacode.h"

#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    // The first byte cuts the rest into pieces, a burst ending after some.
    const int piece = 1 + data[0] % 16;
    const bool burstEnds = data[0] & 0x80;
    const QByteArray in(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    EiaCode::Decoder decoder;
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); i += piece) {
        out += decoder.feed(QByteArrayView(in).sliced(i, qMin<qsizetype>(piece, in.size() - i)));
        const qsizetype fed = qMin(in.size(), i + piece);
        FUZZ_CHECK(out.size() <= fed && out.size() >= fed - (EiaCode::Decoder::Deciding - 1));
        if (burstEnds) out += decoder.endBurst();
    }
    out += decoder.endBurst();
    FUZZ_CHECK(out.size() == in.size() && !decoder.holding());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const uchar b = uchar(in[i]);
        FUZZ_CHECK(uchar(out[i]) == b || EiaCode::isoOf(b) == uchar(out[i]));
        if (const auto row = EiaCode::of(b)) FUZZ_CHECK(EiaCode::isoOf(*row) == b);
    }
    return 0;
}
