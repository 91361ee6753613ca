#include "core/protocols/protocols.h"

#include "core/config/vocabulary.h"
#include "core/protocols/xmodemreceiver.h"
#include "core/protocols/xmodemsender.h"

namespace Protocols
{
ProtocolTransfer *sender(TransferProtocol protocol, const QByteArray &bytes,
                         const QList<qint64> &lineEnds, const ProtocolTransfer::Writer &write,
                         Clock &clock)
{
    if (protocol == TransferProtocol::Xmodem) return new XmodemSender(bytes, lineEnds, write, clock);
    return nullptr;
}

ProtocolTransfer *receiver(TransferProtocol protocol, const ProtocolTransfer::Writer &write,
                           Clock &clock)
{
    if (protocol == TransferProtocol::Xmodem) return new XmodemReceiver(write, clock, MaxBytes);
    return nullptr;
}
} // namespace Protocols
