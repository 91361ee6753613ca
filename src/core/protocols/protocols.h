#pragma once

#include "core/protocols/protocoltransfer.h"

#include <QList>

class Clock;
enum class TransferProtocol;

// The engines of each block protocol, made where the link starts a
// transfer. Null for plain transfers (and protocols without an engine
// here), which the link runs as it always has.
namespace Protocols
{
// The most a receiving engine takes of one transfer: a punch's bound.
inline constexpr qint64 MaxBytes = 16 * 1024 * 1024;

ProtocolTransfer *sender(TransferProtocol protocol, const QByteArray &bytes,
                         const QList<qint64> &lineEnds, const ProtocolTransfer::Writer &write,
                         Clock &clock);
ProtocolTransfer *receiver(TransferProtocol protocol, const ProtocolTransfer::Writer &write,
                           Clock &clock);
} // namespace Protocols
