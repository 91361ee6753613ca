// What a served machine sends, in arbitrary chunks at arbitrary times, with
// each strip option, end code and bound: the punches handed on are the ones
// a plain model cuts from the whole stream, none empty and none over the
// bound, a punch past the bound handed on with the count of bytes left out,
// and nothing is left in progress after the silence. So every byte is
// accounted for: stripped, passed over between punches, kept, or counted.

#include "check.h"
#include "core/serving/punchassembler.h"
#include "virtualclock.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

namespace
{
constexpr int Silence = -1; // an item of the stream that is not a byte

bool leader(int c)
{
    return c == 0 || (c >= 17 && c <= 20);
}

// The punches in `stream` (kept bytes, and Silence where the line fell
// silent); one past `max` bytes as its first `max`, "+" and the rest's count.
QByteArrayList model(const std::vector<int> &stream, int end, qsizetype max)
{
    QByteArrayList out;
    const size_t n = stream.size();
    size_t pos = 0;
    while (true) {
        auto passed = [&](int c) {
            return c == Silence || leader(c) || c == '\r' || c == '\n' || (c == end && c != '%');
        };
        while (pos < n && passed(stream[pos]))
            ++pos;
        if (pos == n) return out;
        const bool framed = stream[pos] == '%';
        size_t k = pos + 1;
        while (k < n && stream[k] != Silence && stream[k] != end && !(framed && stream[k] == '%'))
            ++k;
        const bool closed = k < n && stream[k] != Silence;
        QByteArray punch;
        for (size_t i = pos; i < k + (closed ? 1 : 0); ++i)
            punch += char(stream[i]);
        pos = closed ? k + 1 : k;
        if (punch.size() > max) {
            out << punch.left(max) + '+' + QByteArray::number(punch.size() - max);
            continue;
        }
        while (!closed && !punch.isEmpty() && leader(quint8(punch.back())))
            punch.chop(1);
        if (!punch.isEmpty()) out << punch;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    const int end = in.PickValueInArray({-1, 0, 10, 20, 26, 37});
    const qsizetype max =
        in.ConsumeBool() ? PunchAssembler::MaxBytes : in.ConsumeIntegralInRange(1, 40);
    PunchAssembler punches(clock, max);
    punches.setEndCode(end < 0 ? QString() : QString::number(end));
    const char strip = in.PickValueInArray({'\0', '\r', '%', '\xff'});
    punches.setStripByte(strip);
    QByteArrayList got;
    QObject::connect(&punches, &PunchAssembler::punched, [&](const QByteArray &p) {
        FUZZ_CHECK(!p.isEmpty() && p.size() <= max);
        got << p;
    });
    QObject::connect(&punches, &PunchAssembler::tooLarge, [&](const QByteArray &p, qint64 n) {
        FUZZ_CHECK(p.size() == max && n > 0);
        got << p + '+' + QByteArray::number(n);
    });
    std::vector<int> stream;
    qint64 quietMs = 0; // since the last data
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange(0, 15) == 0) {
            punches.finish();
            stream.push_back(Silence);
            continue;
        }
        const std::string chunk = in.ConsumeRandomLengthString(64);
        punches.feed(QByteArray::fromStdString(chunk));
        FUZZ_CHECK(punches.size() <= max || punches.overflowing());
        for (const char c : chunk) {
            if (c != strip) stream.push_back(quint8(c));
        }
        if (!chunk.empty()) quietMs = 0;
        const int gap = in.ConsumeIntegralInRange(0, PunchAssembler::SilenceMs + 500);
        if (quietMs < PunchAssembler::SilenceMs && quietMs + gap >= PunchAssembler::SilenceMs)
            stream.push_back(Silence);
        quietMs += gap;
        clock.advance(gap * qint64(1'000'000));
    }
    clock.advance(PunchAssembler::SilenceMs * qint64(1'000'000));
    stream.push_back(Silence);
    FUZZ_CHECK(!punches.inPunch() && punches.size() == 0);
    FUZZ_CHECK(got == model(stream, end, max));
    return 0;
}
