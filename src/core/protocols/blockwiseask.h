#pragma once

#include "core/protocols/blockwiseframe.h"

#include <QByteArray>

// What a control's first block in the blockwise transfer asks of the PC,
// for a served machine to act on: send it a program (SOH, code, name, 'E'),
// take one (SOH, code, name, 'A'), or list the folder, either in FE1's
// escape sequence or as a header without a name.
struct BlockwiseAsk {
    enum Kind {
        Nothing,    // not a request: noise, a data block, a header of neither direction
        NeedMore,   // a block begun and not ended yet
        Damaged,    // a block with a bad BCC: answer NAK and wait for it again
        SendMe,     // "send me `name`": answer with a sender that answers the header
        HereComes,  // "here comes `name`": take it with a receiver fed the same bytes
        Directory,  // "list your folder": answer with the directory
    };
    Kind kind = Nothing;
    char code = 0;   // the file code of a header: 'H', 'D', …
    QByteArray name; // as the control sent it
    // The directory was asked for by a header without a name (each name
    // then goes as a data block), not by FE1's escape sequence (a listing).
    bool byHeader = false;
    // How many of the bytes looked at the first event took.
    qsizetype bytes = 0;

    // The first thing `bytes`, the control's bytes from the start of a
    // request, ask; noise before it is skipped.
    static BlockwiseAsk of(QByteArrayView bytes);
    // What one event asks.
    static BlockwiseAsk of(const Blockwise::Event &event);
};
