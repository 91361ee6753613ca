#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The framing of the blockwise transfer with a block check character, as
// Heidenhain controls speak it. A header block is SOH, the file code ('H'
// plain language, 'D' ISO), the program's name, 'E' (into the control) or
// 'A' (out of it), ETB and the BCC; a data block is STX, one program line
// without its line end, ETB and the BCC; a block that carries an error text
// for the control's screen is SOH, the text, ETB and the BCC. Each block is
// answered ACK (taken) or NAK (damaged: send it again); ETX follows the
// last data block and EOT ends the transfer.
namespace Blockwise
{
inline constexpr char SOH = 0x01, STX = 0x02, ETX = 0x03, EOT = 0x04, ACK = 0x06, DC1 = 0x11,
                      DC3 = 0x13, NAK = 0x15, ETB = 0x17, ESC = 0x1b;
// A block longer than this from its SOH or STX to its ETB is not a line of
// any real program: it is NAKed and its bytes are dropped as they come.
inline constexpr qsizetype MaxBlock = 4096;
// The text taken in one transfer, as for a punch.
inline constexpr qint64 MaxProgram = 16 * 1024 * 1024;
// What a control in FE1 mode sends to ask for the directory: DC3 ESC DC1 "0 D" CR LF.
inline constexpr char DirectoryAsk[] = "\x1b\x11"
                                       "0 D\r\n";

// The XOR of every byte of `framed`: from SOH or STX through ETB.
char bcc(QByteArrayView framed);
// `start`, `body`, ETB and their BCC.
QByteArray block(char start, QByteArrayView body);
QByteArray header(char code, QByteArrayView name, char direction);
QByteArray dataBlock(QByteArrayView line);
QByteArray errorBlock(QByteArrayView text);

// 'H' for a plain-language program (a ".H" file), 'D' for any other, ISO.
char fileCode(const QString &fileName);
// The name a program goes under in its header: its BEGIN PGM name, or else
// the file's name without its extension.
QByteArray headerName(const QString &fileName, QByteArrayView program);

// One thing the peer sent, and how many of the bytes fed it took.
struct Event {
    enum Kind {
        Header,     // SOH … ETB with a good BCC: `body` between SOH and ETB
        Data,       // STX … ETB with a good BCC: `body` is the line
        Damaged,    // a block whose BCC is wrong, or too long
        Control,    // ACK, NAK, ETX or EOT in `byte`
        Directory,  // the FE1 directory request
        Noise,      // anything else between blocks (DC1, DC3, line noise)
    };
    Kind kind = Noise;
    QByteArray body;
    char byte = 0;
    qsizetype bytes = 0;
};

// Cuts what the peer sends into events, however it is chunked. Holds at
// most MaxBlock + 2 bytes.
class Reader
{
public:
    QList<Event> feed(QByteArrayView bytes);
    // Bytes fed and not yet part of an event.
    qsizetype pending() const { return m_taken; }

private:
    void take(char c, QList<Event> &out);

    QByteArray m_block;   // from SOH or STX, while it is short enough
    qsizetype m_taken = 0; // bytes of the block (or escape) in hand
    bool m_inBlock = false, m_tooLong = false, m_awaitBcc = false;
    char m_start = 0, m_sum = 0;
    qsizetype m_escape = 0; // bytes of DirectoryAsk matched so far
};
} // namespace Blockwise
