// What a machine punches, in arbitrary chunks at arbitrary times, with each
// strip option and the odd discard: every byte but the strip byte is handed
// on once, in order, and nothing else; a piece handed on while data still
// comes never ends in a control character; a burst ends after the silence
// and leaves nothing held back.

#include "check.h"
#include "core/link/receivesession.h"
#include "virtualclock.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    ReceiveSession session(clock);
    const char strip = in.PickValueInArray({'\0', '\r', '\n'});
    session.setStripByte(strip);
    QByteArray owed; // kept bytes fed and not handed on yet
    QObject::connect(&session, &ReceiveSession::text, [&](const QByteArray &piece) {
        FUZZ_CHECK(!piece.isEmpty() && owed.startsWith(piece));
        FUZZ_CHECK(!session.inBurst() || quint8(piece.back()) > 13);
        owed.remove(0, piece.size());
    });
    QObject::connect(&session, &ReceiveSession::burstEnded, [&] { FUZZ_CHECK(owed.isEmpty()); });
    while (in.remaining_bytes() > 0) {
        const int action = in.ConsumeIntegralInRange(0, 15);
        if (action == 0) {
            session.discard();
            owed.clear();
            FUZZ_CHECK(!session.inBurst());
            continue;
        }
        const QByteArray chunk = QByteArray::fromStdString(in.ConsumeRandomLengthString(64));
        QByteArray kept = chunk;
        kept.removeIf([strip](char c) { return c == strip; });
        owed += kept;
        session.feed(chunk);
        FUZZ_CHECK(session.inBurst() || chunk.isEmpty());
        clock.advance(qint64(in.ConsumeIntegralInRange(0, 600)) * 1'000'000);
    }
    clock.advance(ReceiveSession::SilenceMs * qint64(1'000'000));
    FUZZ_CHECK(owed.isEmpty() && !session.inBurst());
    return 0;
}
