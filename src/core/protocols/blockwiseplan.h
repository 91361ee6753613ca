#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What one blockwise send from the PC puts on the line, block by block:
// made here, sent by BlockwiseSender.
struct BlockwisePlan {
    struct Block {
        QByteArray bytes;       // framed, with its BCC
        qint64 programBytes = 0; // of the program's bytes, line end included
        int lines = 0;          // of the program's lines
    };
    // Written first, answered by nothing (an ACK to the control's header).
    QByteArray opening;
    // Each waits for the control's ACK; NAK has it again.
    QList<Block> blocks;
    // After the last block is taken (ETX; a listing and ETX).
    QByteArray closing;
    // Then the control's EOT (or ACK) ends it; false: the last ACK does.
    bool awaitEnd = true;
    // The control asks for the next name with a header: it counts as ACK
    // and is acknowledged itself before the next block.
    bool headerAsksNext = false;
    qint64 programBytes = 0;
};

// A program into the control: its lines (split at LF, a CR before it
// dropped, each a data block), then ETX. `answering` the control's header
// (it asked for the program): ACK first and no header of the PC's own;
// otherwise it opens with the PC's header, SOH `code` `name` 'E'.
BlockwisePlan programPlan(const QByteArray &program, const QByteArray &name, char code,
                          bool answering);

// The folder, for the control that asked for the directory.
struct FolderEntry {
    QByteArray name;
    qint64 size = 0; // bytes
};
// Asked for by a header without a name (`byHeader`): the header is
// acknowledged and each name goes as a data block, one for each header the
// control sends after it, then ETX. Asked for by FE1's escape sequence: a
// listing, four heading lines the control skips, then one line per program,
// its name, a blank and its size in 512-byte sectors (rounded up), each
// line ending CR LF, then ETX. A byte of a name outside "!" to "~" is sent
// as "?".
BlockwisePlan directoryPlan(const QList<FolderEntry> &entries, bool byHeader);

// An error text for the control's screen ("NOT FOUND 15"): one block, the
// end of the transfer. Bytes outside " " to "~" are sent as "?", and at most
// 32 of them.
BlockwisePlan refusalPlan(const QByteArray &text);
