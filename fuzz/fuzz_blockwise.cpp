// What a control sends in the blockwise transfer, in arbitrary chunks at
// arbitrary times: the reader accounts for every byte (taken by an event or
// held, never more than a block's worth); the receiver answers only ACK,
// NAK or EOT, hands on no more than it counts and never past its bound; the
// first block's question takes no byte that was not there.

#include "check.h"
#include "core/protocols/blockwiseask.h"
#include "core/protocols/blockwisereceiver.h"
#include "virtualclock.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    Blockwise::Reader reader;
    BlockwiseReceiver receiver(clock, [](const QByteArray &answer) {
        FUZZ_CHECK(answer.size() == 1);
        FUZZ_CHECK(answer[0] == Blockwise::ACK || answer[0] == Blockwise::NAK ||
                   answer[0] == Blockwise::EOT);
        return true;
    });
    qint64 handed = 0, fed = 0, taken = 0;
    QObject::connect(&receiver, &ProtocolTransfer::data, [&](const QByteArray &text) {
        FUZZ_CHECK(text.endsWith("\r\n") && text.size() <= Blockwise::MaxBlock + 2);
        handed += text.size();
    });
    receiver.start();
    QByteArray first;
    while (in.remaining_bytes() > 0) {
        const QByteArray chunk = QByteArray::fromStdString(in.ConsumeRandomLengthString(256));
        if (first.size() < 8192) first += chunk;
        fed += chunk.size();
        for (const Blockwise::Event &e : reader.feed(chunk)) {
            FUZZ_CHECK(e.bytes > 0 && e.body.size() < e.bytes);
            taken += e.bytes;
        }
        FUZZ_CHECK(taken + reader.pending() == fed);
        FUZZ_CHECK(reader.pending() <= Blockwise::MaxBlock + 2);
        receiver.feed(chunk);
        FUZZ_CHECK(handed == receiver.bytesDone() && handed <= Blockwise::MaxProgram);
        clock.advance(qint64(in.ConsumeIntegralInRange(0, 40'000)) * 1'000'000);
    }
    const BlockwiseAsk ask = BlockwiseAsk::of(first);
    FUZZ_CHECK(ask.bytes <= first.size() && ask.name.size() <= Blockwise::MaxBlock);
    FUZZ_CHECK(ask.kind != BlockwiseAsk::SendMe || !ask.name.isEmpty());
    // A directory is asked for without a name or by a pattern.
    FUZZ_CHECK(ask.kind != BlockwiseAsk::Directory || ask.name.isEmpty() ||
               ask.name.contains('*'));
    return 0;
}
