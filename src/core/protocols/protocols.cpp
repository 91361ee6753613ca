#include "core/protocols/protocols.h"

#include "core/config/vocabulary.h"
#include "core/protocols/blockwiseframe.h"
#include "core/protocols/blockwiseplan.h"
#include "core/protocols/blockwisereceiver.h"
#include "core/protocols/blockwisesender.h"
#include "core/protocols/xmodemreceiver.h"
#include "core/protocols/xmodemsender.h"

namespace Protocols
{
ProtocolTransfer *sender(TransferProtocol protocol, const QByteArray &bytes,
                         const QList<qint64> &lineEnds, const ProtocolTransfer::Writer &write,
                         Clock &clock, const QString &fileName)
{
    if (protocol == TransferProtocol::Xmodem) return new XmodemSender(bytes, lineEnds, write, clock);
    if (protocol == TransferProtocol::Blockwise)
        return new BlockwiseSender(clock, write,
                                   programPlan(bytes, Blockwise::headerName(fileName, bytes),
                                               Blockwise::fileCode(fileName), false));
    return nullptr;
}

ProtocolTransfer *answer(BlockwisePlan plan, const ProtocolTransfer::Writer &write, Clock &clock)
{
    return new BlockwiseSender(clock, write, std::move(plan));
}

ProtocolTransfer *receiver(TransferProtocol protocol, const ProtocolTransfer::Writer &write,
                           Clock &clock)
{
    if (protocol == TransferProtocol::Xmodem) return new XmodemReceiver(write, clock, MaxBytes);
    if (protocol == TransferProtocol::Blockwise) return new BlockwiseReceiver(clock, write);
    return nullptr;
}
} // namespace Protocols
