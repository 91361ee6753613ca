// What a served machine sends, in arbitrary chunks at arbitrary times, with
// each strip option, end code and bound, now and then cut (the port lost):
// the cutter never loses a byte. Walking the stream (stripped bytes left
// out) in the order things were handed on, each program is found whole
// after bytes that may be passed over (leader, DC codes, line ends, the end
// code, "%"), followed by the bytes counted as left out past the bound;
// each run of dropped bytes the same way, by its first bytes and count;
// what is left at the end may be passed over too. Nothing spans a silence
// or a cut, none is empty, none over the bound, every name saved is a safe
// file name, and the bytes handed on, left out, dropped and passed over
// add up to the stream. Nothing is held after the silence.

#include "check.h"
#include "core/controls/controlfamily.h"
#include "core/serving/punchassembler.h"
#include "virtualclock.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <set>

namespace
{
struct Handed {
    QByteArray bytes; // a program's kept bytes, or the first bytes dropped
    qint64 after = 0; // a program's bytes left out; all the dropped bytes
    bool dropped = false;
    qint64 passed = 0; // bytes passed over by then
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    const int end = in.PickValueInArray({-1, 0, 10, 20, 26, 37});
    const qsizetype max =
        in.ConsumeBool() ? PunchAssembler::MaxBytes : in.ConsumeIntegralInRange(1, 40);
    PunchAssembler cutter(clock, max);
    cutter.setEndCode(end < 0 ? QString() : QString::number(end));
    const char strip = in.PickValueInArray({'\0', '\r', '%', '\xff'});
    cutter.setStripByte(strip);
    QList<Handed> handed;
    const auto program = [&](const QByteArray &p, qint64 leftOut) {
        FUZZ_CHECK(!p.isEmpty() && p.size() <= max && (leftOut == 0 || p.size() == max));
        FUZZ_CHECK(Controls::programName(p).isEmpty() || Controls::isSavableName(Controls::programName(p)));
        handed.append({p, leftOut, false, cutter.passedOver()});
    };
    QObject::connect(&cutter, &PunchAssembler::punched, [&](const QByteArray &p) { program(p, 0); });
    QObject::connect(&cutter, &PunchAssembler::cutOff, [&](const QByteArray &p) { program(p, 0); });
    QObject::connect(&cutter, &PunchAssembler::tooLarge, program);
    QObject::connect(&cutter, &PunchAssembler::dropped, [&](qint64 n, const QByteArray &head) {
        FUZZ_CHECK(n > 0 && head.size() == qMin<qint64>(n, PunchAssembler::ShownBytes));
        handed.append({head, n, true, cutter.passedOver()});
    });
    QByteArray stream;
    std::set<qsizetype> breaks; // a silence or a cut before this byte
    qint64 quietMs = 0;         // since the last data
    while (in.remaining_bytes() > 0) {
        if (const int op = in.ConsumeIntegralInRange(0, 31); op < 2) {
            op == 0 ? cutter.finish() : cutter.cut();
            breaks.insert(stream.size());
            continue;
        }
        const std::string chunk = in.ConsumeRandomLengthString(64);
        cutter.feed(QByteArray::fromStdString(chunk));
        FUZZ_CHECK(cutter.size() <= max + Controls::MaxJudged || cutter.overflowing());
        for (const char c : chunk)
            if (c != strip) stream += c;
        if (!chunk.empty()) quietMs = 0;
        const int gap = in.ConsumeIntegralInRange(0, PunchAssembler::SilenceMs + 500);
        if (quietMs < PunchAssembler::SilenceMs && quietMs + gap >= PunchAssembler::SilenceMs)
            breaks.insert(stream.size());
        quietMs += gap;
        clock.advance(gap * qint64(1'000'000));
    }
    clock.advance(PunchAssembler::SilenceMs * qint64(1'000'000));
    FUZZ_CHECK(!cutter.holding() && cutter.size() == 0);

    const auto all = [&](qsizetype from, qsizetype to, bool (*ok)(char c, int end)) {
        for (qsizetype i = from; i < to; ++i)
            if (i >= stream.size() || !ok(stream[i], end)) return false;
        return true;
    };
    const auto leaders = [&](qsizetype from, qsizetype to) {
        return all(from, to, [](char c, int) { return c == '\0' || (c >= 17 && c <= 20); });
    };
    const auto passable = [&](qsizetype from, qsizetype to) {
        return all(from, to, [](char c, int end) {
            return c == '\0' || (c >= 17 && c <= 20) || c == '\r' || c == '\n' || c == '%' ||
                   (end >= 0 && c == char(end));
        });
    };
    // Each item after exactly the bytes passed over since the one before;
    // of those, a program ended by silence may have had its trailing leader.
    qsizetype cursor = 0;
    qint64 passed = 0, accounted = 0;
    for (const Handed &h : handed) {
        const qsizetype delta = h.passed - passed;
        const qsizetype span = h.dropped ? h.after : h.bytes.size() + h.after;
        const auto found = [&](qsizetype at) {
            return at <= stream.size() && QByteArrayView(stream).sliced(at).startsWith(h.bytes);
        };
        qsizetype gap = delta;
        while (gap > 0 && !found(cursor + gap)) --gap;
        FUZZ_CHECK(found(cursor + gap) && cursor + gap + span <= stream.size());
        FUZZ_CHECK(passable(cursor, cursor + gap));
        const qsizetype at = cursor + gap, trimmed = delta - gap;
        FUZZ_CHECK(trimmed == 0 || (!h.dropped && h.after == 0 && leaders(at + span, at + span + trimmed)));
        const auto inside = breaks.upper_bound(at);
        FUZZ_CHECK(inside == breaks.end() || *inside >= at + span + trimmed);
        cursor = at + span + trimmed;
        passed = h.passed;
        accounted += span;
    }
    FUZZ_CHECK(stream.size() - cursor == cutter.passedOver() - passed);
    FUZZ_CHECK(passable(cursor, stream.size()));
    FUZZ_CHECK(accounted + cutter.passedOver() == stream.size());
    return 0;
}
