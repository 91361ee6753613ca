#include "core/config/vocabulary.h"

#include <algorithm>

namespace Vocabulary
{

namespace
{
// The row whose stored text is `key`, or nullptr.
template <typename Row, size_t N>
const Row *find(const std::array<Row, N> &rows, const char *Row::*text, QByteArrayView key)
{
    for (const Row &row : rows)
        if (key == QByteArrayView(row.*text)) return &row;
    return nullptr;
}
} // namespace

bool isOfferedSpeed(qint32 speed)
{
    return std::find(Speeds.begin(), Speeds.end(), speed) != Speeds.end();
}

const DataFormat &dataFormat(int bits)
{
    return DataFormats[bits == 8 ? 1 : 0];
}

const DataFormat &storedDataFormat(QByteArrayView dataBits)
{
    return dataFormat(dataBits == QByteArrayView("8") ? 8 : 7);
}

int storedDataBits(QByteArrayView dataBits)
{
    for (size_t i = 0; i < DataBits.size(); ++i)
        if (dataBits == QByteArrayView(DataBits[i])) return int(i) + 5;
    return 7;
}

int parityIndex(QByteArrayView stored)
{
    const ParityName *p = find(Parities, &ParityName::stored, stored);
    return p ? int(p - Parities.data()) : -1;
}

int impliedParity(int dataBits)
{
    return dataBits == 8 ? 0 : 1;
}

const BlockDelay *blockDelay(QByteArrayView stored)
{
    return find(BlockDelays, &BlockDelay::stored, stored);
}

const EndOfBlock &endOfBlock(QByteArrayView name)
{
    const EndOfBlock *e = find(EndsOfBlock, &EndOfBlock::name, name);
    return e ? *e : EndsOfBlock[0];
}

const Flow &flow(QByteArrayView code)
{
    const Flow *f = find(Flows, &Flow::code, code);
    return f ? *f : Flows[0];
}

const CharacterCheck &characterCheck(QByteArrayView stored)
{
    const CharacterCheck *c = find(CharacterChecks, &CharacterCheck::stored, stored);
    return c ? *c : CharacterChecks[0];
}

const TapeCodeName &tapeCode(QByteArrayView stored)
{
    const TapeCodeName *v = find(TapeCodes, &TapeCodeName::stored, stored);
    return v ? *v : TapeCodes[0];
}

const ProtocolName &protocol(QByteArrayView stored)
{
    const ProtocolName *v = find(Protocols, &ProtocolName::stored, stored);
    return v ? *v : Protocols[0];
}

const HeldLineName &heldLine(QByteArrayView stored)
{
    const HeldLineName *v = find(HeldLines, &HeldLineName::stored, stored);
    return v ? *v : HeldLines[0];
}

} // namespace Vocabulary
