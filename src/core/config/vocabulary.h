#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <array>

// The values each line setting may take, written once: what the setup
// dialog offers, in its order, what each stores, and what it means.

// How a send paces itself on the machine's XON/XOFF (the stored MCFLOW).
enum class FlowMode {
    None,           // "0" and anything unknown
    XonXoff,        // "1": the port's own handshake, and DC3/DC1 obeyed
    RtsCts,         // "2": the port's hardware handshake
    StartOnAnyByte, // "3": waits for any byte before the first line
    StartOnDc1,     // "4": waits for DC1 before the first line
    DtrDsr,         // "5": the machine's DSR holds the output, the program's DTR says it may send
};

// How a machine's program text goes on the wire (the stored MCCODE).
enum class TapeCode {
    Iso, // "" or "ISO": the characters as they are
    Eia, // "EIA": EIA RS-244 tape code, translated on the way out and in
};

// How a transfer is framed on the line (the stored MCPROTOCOL).
enum class TransferProtocol {
    Plain,     // "" or "PLAIN": lines as they are, paced by the flow control
    Xmodem,    // "XMODEM": 128-byte blocks, checksum or CRC, ACK/NAK
    Blockwise, // "BLOCKWISE": a header block, one line a block, BCC, ACK/NAK
};

// A control line held where it is no handshake (the stored MCDTR, MCRTS).
enum class HeldLine {
    AsIs, // "": as the port leaves it
    High, // "HIGH"
    Low,  // "LOW"
};

// Which characters a machine's control refuses, as the check before a send
// has them (the stored MCCHARCHK).
enum class CharacterRule {
    Off,           // "" and anything unknown: no check
    Iso,           // "ISO": printable ASCII, tab and line ends only
    StrictComments // "STRICT": as ISO, and no lower case nor " , ; ! @ $ ^ & _ { } | \ < > ? '
                   // inside "( ... )" comments
};

namespace Vocabulary
{

// The speeds offered, slowest first.
inline constexpr std::array<qint32, 11> Speeds = {150,  300,   600,   1200,  2400, 4800,
                                                  9600, 19200, 38400, 57600, 115200};
bool isOfferedSpeed(qint32 speed);

// Seven data bits always go with even parity, eight with none.
struct DataFormat {
    int bits;
    const char *dataBits; // as stored
    const char *parity;   // as stored
    bool evenParity;
    const char *caption;
};
inline constexpr std::array<DataFormat, 2> DataFormats = {{
    {7, "7", "Even", true, "7 Bits - Even Parity"},
    {8, "8", "None", false, "8 Bits - No Parity"},
}};
// The format chosen by a number of data bits: 8, or else 7.
const DataFormat &dataFormat(int bits);
// The format a stored MCDBITS reads as: "8", or else 7 bits.
const DataFormat &storedDataFormat(QByteArrayView dataBits);

// The data bits a line may have, as stored: 5 to 8.
inline constexpr std::array<const char *, 4> DataBits = {"5", "6", "7", "8"};
// The data bits a stored MCDBITS gives: 5 to 8, and 7 for anything else.
int storedDataBits(QByteArrayView dataBits);

// The parities a line may have, in the order of the line settings' own.
struct ParityName {
    const char *stored;
    char letter; // as a format shows it: "9600 7O1"
};
inline constexpr std::array<ParityName, 5> Parities = {{
    {"None", 'N'},
    {"Even", 'E'},
    {"Odd", 'O'},
    {"Mark", 'M'},
    {"Space", 'S'},
}};
// The row of a stored MCPARITY, or -1 for a text that is none of them.
int parityIndex(QByteArrayView stored);
// Where no parity is stored, the data bits imply one: none with 8, even with fewer.
int impliedParity(int dataBits);

// The pause before each line. "Fast" and "None" wait no time; "None" does
// not wait for the port to drain either.
struct BlockDelay {
    const char *stored;
    int ms;
};
inline constexpr std::array<BlockDelay, 10> BlockDelays = {{
    {"5", 5},
    {"10", 10},
    {"25", 25},
    {"50", 50},
    {"70", 70},
    {"90", 90},
    {"150", 150},
    {"200", 200},
    {"Fast", 0},
    {"None", 0},
}};
// nullptr for a text that is not one of them.
const BlockDelay *blockDelay(QByteArrayView stored);

// The bytes each line end of a program goes out as.
struct EndOfBlock {
    const char *name; // as stored and shown
    const char *bytes;
};
inline constexpr std::array<EndOfBlock, 4> EndsOfBlock = {{
    {"CRLF", "\r\n"},
    {"LF", "\n"},
    {"CRLFLF", "\r\n\n"},
    {"CR", "\r"},
}};
// The first, CRLF, for a name that is none of them.
const EndOfBlock &endOfBlock(QByteArrayView name);

// The stored flow-control codes. The dialog offers the first three; the
// two wait modes are kept when a machine already has them.
struct Flow {
    const char *code; // as stored
    FlowMode mode;
    const char *name; // as the panel shows it
};
inline constexpr std::array<Flow, 6> Flows = {{
    {"0", FlowMode::None, "No Flow Control"},
    {"1", FlowMode::XonXoff, "Xon/Xoff"},
    {"2", FlowMode::RtsCts, "RTS/CTS"},
    {"3", FlowMode::StartOnAnyByte, "Xon/Xoff (Wait-Xon)"},
    {"4", FlowMode::StartOnDc1, "Xon/Xoff (Wait-Any)"},
    {"5", FlowMode::DtrDsr, "DTR/DSR"},
}};
inline constexpr int OfferedFlows = 3;
// The first, "0", for a code that is none of them.
const Flow &flow(QByteArrayView code);

struct CharacterCheck {
    const char *stored;
    CharacterRule rule;
    const char *caption;
};
inline constexpr std::array<CharacterCheck, 3> CharacterChecks = {{
    {"", CharacterRule::Off, "Off"},
    {"ISO", CharacterRule::Iso, "ISO only"},
    {"STRICT", CharacterRule::StrictComments, "ISO, strict comments"},
}};
// The first, off, for a text that is none of them.
const CharacterCheck &characterCheck(QByteArrayView stored);

struct TapeCodeName {
    const char *stored;
    TapeCode code;
    const char *caption;
};
inline constexpr std::array<TapeCodeName, 2> TapeCodes = {{
    {"", TapeCode::Iso, "ISO"},
    {"EIA", TapeCode::Eia, "EIA RS-244"},
}};
// ISO for a text that is none of them ("ISO" included).
const TapeCodeName &tapeCode(QByteArrayView stored);

struct ProtocolName {
    const char *stored;
    TransferProtocol protocol;
    const char *caption;
};
inline constexpr std::array<ProtocolName, 3> Protocols = {{
    {"", TransferProtocol::Plain, "Plain"},
    {"XMODEM", TransferProtocol::Xmodem, "XMODEM"},
    {"BLOCKWISE", TransferProtocol::Blockwise, "Blockwise (BCC)"},
}};
// Plain for a text that is none of them ("PLAIN" included).
const ProtocolName &protocol(QByteArrayView stored);

struct HeldLineName {
    const char *stored;
    HeldLine line;
    const char *caption;
};
inline constexpr std::array<HeldLineName, 3> HeldLines = {{
    {"", HeldLine::AsIs, "As is"},
    {"HIGH", HeldLine::High, "High"},
    {"LOW", HeldLine::Low, "Low"},
}};
// As is for a text that is none of them.
const HeldLineName &heldLine(QByteArrayView stored);

} // namespace Vocabulary
