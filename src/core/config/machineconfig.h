#pragma once

#include "core/base/transfer.h"
#include "core/config/vocabulary.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>

// The values kept for each machine, in the order zoZad.ini holds them: the
// twenty every machine has, then the ones written only where they are set,
// so that a machine without them keeps its section as it always was.
enum class Key {
    Name,
    Port,
    Mode,
    ComPar,
    Folder,
    Flow,
    CrLf,
    BlockDelay,
    BlockNul,
    Prefix,
    Extension,
    Speed,
    DataBits,
    Parity,
    StopBits,
    EndOfBlock,
    StartCode,
    EndCode,
    TxStep,
    StripEob,
    // Written only when not empty.
    Leader,    // the text sent before a program, escapes as EscapedText has them
    Trailer,   // the text sent after it
    CharCheck, // "ISO", "STRICT", or off
    DtrLine,        // "HIGH" or "LOW": DTR held so where it is no handshake; empty: as the port leaves it
    RtsLine,        // the same for RTS
    CharDelay,      // ms between characters (empty or 0: none)
    CharsPerDelay,  // characters sent between two character delays (empty: 1)
    HandshakeDelay, // ms before the first byte after the control raises its handshake again
    TapeCode,       // "EIA", or ISO (empty or "ISO")
    Protocol,       // "PLAIN" (or empty), "XMODEM", "BLOCKWISE"
};
constexpr int KeyCount = 30;
// The keys every section holds.
constexpr int AlwaysWritten = 20;

// "25" -> 25, "150ms" -> 150, "Fast" -> 0: the number a text starts with.
int leadingNumber(QStringView text);

// One machine's configuration: its stored values exactly as read, as bytes,
// with typed views of the ones the program acts on. A value reads as UTF-8
// where it is valid UTF-8 and as Latin-1 otherwise; a value set to what it
// already reads as keeps its bytes, and a new one is stored as UTF-8, so a
// rewrite never changes what the user did not touch.
class MachineConfig
{
public:
    static QString keyName(Key key);

    QString value(Key key) const;
    void setValue(Key key, const QString &value);
    QByteArray bytes(Key key) const { return m_values[size_t(key)]; }
    void setBytes(Key key, const QByteArray &bytes) { m_values[size_t(key)] = bytes; }

    QString name() const { return value(Key::Name); }
    QString port() const { return value(Key::Port); }
    FlowMode flowMode() const;
    // The pause before each line; 0 for "Fast" and "None".
    int blockDelayMs() const;
    // "None": lines follow each other without waiting for the port to drain
    // or for the tick, so a fast line runs at its own rate.
    bool streams() const { return value(Key::BlockDelay) == u"None"; }
    // The bytes sent for each line end of a program.
    QByteArray endOfBlock() const;
    // The byte removed from received data (0 when none is chosen).
    char stripByte() const;
    // The bytes sent before a program's first line and after its last. An
    // escape the program does not know, put into the file by hand, is sent
    // as it is written.
    QByteArray leader() const { return framing(Key::Leader); }
    QByteArray trailer() const { return framing(Key::Trailer); }
    // Which characters the control refuses, as the check before a send has them.
    CharacterRule characterRule() const;
    // How the program's text goes on the wire, and how a transfer is framed.
    TapeCode tapeCode() const { return Vocabulary::tapeCode(bytes(Key::TapeCode)).code; }
    TransferProtocol protocol() const
    {
        return Vocabulary::protocol(bytes(Key::Protocol)).protocol;
    }

    // What the panel shows under the logo for this machine: five lines.
    QString description() const;
    // How the panel names a stored flow-control code.
    static QString flowName(const QString &code);

    // What a machine name may hold: ASCII letters and digits, blank, "-"
    // and "_", so that a name can never break a line of the file.
    static bool isNameCharacter(QChar c);

    // A new machine: the first listed port (empty when there is none) and
    // the default line settings.
    static MachineConfig defaults(const QString &firstPort);

    bool operator==(const MachineConfig &) const = default;

private:
    QByteArray framing(Key key) const;

    std::array<QByteArray, KeyCount> m_values;
};

// The one place a transfer's identity is made: machine `id`, as `machine`
// names it and its port, in `direction`. What the transfer carries besides
// (program source, start line, request) is the starter's to add.
Transfer transferOf(MachineId id, const MachineConfig &machine, Transfer::Direction direction);
