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

// The row whose stored text is `key`, or else the first: the default.
template <typename Row, size_t N>
const Row &orFirst(const std::array<Row, N> &rows, const char *Row::*text, QByteArrayView key)
{
    const Row *row = find(rows, text, key);
    return row ? *row : rows[0];
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
    return orFirst(EndsOfBlock, &EndOfBlock::name, name);
}

const Flow &flow(QByteArrayView code)
{
    return orFirst(Flows, &Flow::code, code);
}

const CharacterCheck &characterCheck(QByteArrayView stored)
{
    return orFirst(CharacterChecks, &CharacterCheck::stored, stored);
}

const TapeCodeName &tapeCode(QByteArrayView stored)
{
    return orFirst(TapeCodes, &TapeCodeName::stored, stored);
}

const ProtocolName &protocol(QByteArrayView stored)
{
    return orFirst(Protocols, &ProtocolName::stored, stored);
}

const HeldLineName &heldLine(QByteArrayView stored)
{
    return orFirst(HeldLines, &HeldLineName::stored, stored);
}

} // namespace Vocabulary
