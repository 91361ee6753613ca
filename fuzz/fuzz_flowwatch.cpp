// What a machine sends during a send, in arbitrary chunks under each flow
// mode: the sign to start is one leading byte at most and only while the
// send waits for it, a hold is DC3 or DC1 as last heard, and the control's
// SYN or NAK ends the send only under XON/XOFF after a DC3 (or a held port).

#include "check.h"
#include "core/sending/flowwatch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const FlowMode flow = FlowMode(in.ConsumeIntegralInRange(0, 5));
    const bool waits = flow == FlowMode::StartOnAnyByte || flow == FlowMode::StartOnDc1;
    FlowWatch watch(flow);
    if (!waits) watch.begin();
    bool dc3 = false;
    while (in.remaining_bytes() > 0) {
        const bool portHeld = in.ConsumeBool();
        const QByteArray chunk = QByteArray::fromStdString(in.ConsumeRandomLengthString(64));
        const bool startWait = waits && !watch.watching();
        const FlowWatch::Heard heard = watch.hear(chunk, startWait, portHeld);
        FUZZ_CHECK(heard.sign == 0 || (heard.sign == 1 && startWait && !chunk.isEmpty()));
        FUZZ_CHECK(!watch.watching() || flow != FlowMode::None);
        dc3 = dc3 || chunk.contains('\x13') || (portHeld && flow == FlowMode::XonXoff);
        if (heard.answer != FlowWatch::Answer::None) {
            FUZZ_CHECK(dc3 && watch.watching());
            FUZZ_CHECK(chunk.contains(heard.answer == FlowWatch::Answer::Reset ? '\x16' : '\x15'));
            return 0; // the send has ended
        }
        if (heard.hold) FUZZ_CHECK(chunk.contains(*heard.hold ? '\x13' : '\x11'));
    }
    return 0;
}
