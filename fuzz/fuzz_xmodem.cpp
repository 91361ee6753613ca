// An XMODEM receiver fed arbitrary bytes, in arbitrary chunks at arbitrary
// times, with its bound small: it never crashes, holds no more than one
// block besides what it handed on (hands on no more than its bound), answers
// only with its words, and every byte fed is accounted for (handed on,
// padding, framing, discarded, or in the block coming in).

#include "check.h"
#include "core/protocols/xmodem.h"
#include "core/protocols/xmodemreceiver.h"
#include "virtualclock.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    constexpr qint64 Bound = 4096;
    QByteArray said;
    qint64 handed = 0, fed = 0;
    bool ended = false;
    XmodemReceiver rx([&](const QByteArray &b) { return said += b, true; }, clock, Bound);
    QObject::connect(&rx, &ProtocolTransfer::data, [&](const QByteArray &text) {
        FUZZ_CHECK(!text.isEmpty() && !ended);
        handed += text.size();
    });
    QObject::connect(&rx, &ProtocolTransfer::finished, [&](ProtocolOutcome) {
        FUZZ_CHECK(!ended);
        ended = true;
    });
    rx.start();
    while (in.remaining_bytes() > 0) {
        const QByteArray chunk = QByteArray::fromStdString(in.ConsumeRandomLengthString(300));
        fed += chunk.size();
        rx.feed(chunk);
        FUZZ_CHECK(rx.accounted() == fed);
        FUZZ_CHECK(handed == rx.bytesDone() && handed <= Bound);
        clock.advance(qint64(in.ConsumeIntegralInRange(0, 12'000)) * 1'000'000);
    }
    for (const char c : said)
        FUZZ_CHECK(c == 'C' || c == Xmodem::Nak || c == Xmodem::Ack || c == Xmodem::Can);
    return 0;
}
