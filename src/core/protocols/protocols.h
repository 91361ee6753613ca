#pragma once

#include "core/protocols/protocoltransfer.h"

#include <QList>

class Clock;
struct BlockwisePlan;
enum class TransferProtocol;

// The engines of each block protocol, made where the link starts a
// transfer. Null for plain transfers (and protocols without an engine
// here), which the link runs as it always has.
namespace Protocols
{
// The most a receiving engine takes of one transfer: a punch's bound.
inline constexpr qint64 MaxBytes = 16 * 1024 * 1024;

// `fileName`: the program's file, which names it where the protocol sends
// a name (blockwise: its BEGIN PGM name, or the file's name).
ProtocolTransfer *sender(TransferProtocol protocol, const QByteArray &bytes,
                         const QList<qint64> &lineEnds, const ProtocolTransfer::Writer &write,
                         Clock &clock, const QString &fileName = {});
// A blockwise send that answers what the control asked with its own block.
ProtocolTransfer *answer(BlockwisePlan plan, const ProtocolTransfer::Writer &write, Clock &clock);
ProtocolTransfer *receiver(TransferProtocol protocol, const ProtocolTransfer::Writer &write,
                           Clock &clock);
} // namespace Protocols
