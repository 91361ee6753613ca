#include "core/protocols/blockwiseask.h"

BlockwiseAsk BlockwiseAsk::of(QByteArrayView bytes)
{
    Blockwise::Reader reader;
    qsizetype skipped = 0;
    for (const Blockwise::Event &e : reader.feed(bytes)) {
        BlockwiseAsk ask = of(e);
        if (e.kind != Blockwise::Event::Noise) {
            ask.bytes += skipped;
            return ask;
        }
        skipped += e.bytes;
    }
    BlockwiseAsk ask;
    if (reader.pending() > 0) ask.kind = NeedMore;
    ask.bytes = skipped;
    return ask;
}

BlockwiseAsk BlockwiseAsk::of(const Blockwise::Event &event)
{
    BlockwiseAsk ask;
    ask.bytes = event.bytes;
    switch (event.kind) {
    case Blockwise::Event::Damaged: ask.kind = Damaged; return ask;
    case Blockwise::Event::Directory: ask.kind = Directory; return ask;
    case Blockwise::Event::Header: break;
    default: return ask;
    }
    const QByteArray &body = event.body;
    const bool lettered = body.size() >= 2 && body[0] >= 'A' && body[0] <= 'Z';
    if (!lettered || (body.back() != 'E' && body.back() != 'A')) return ask;
    ask.code = body[0];
    ask.name = body.sliced(1, body.size() - 2);
    if (body.back() == 'A') {
        ask.kind = HereComes;
    } else {
        // No name, or a pattern ("*", "*.H"): the folder is asked for.
        const bool folder = ask.name.isEmpty() || ask.name.contains('*');
        ask.kind = folder ? Directory : SendMe;
        // A pattern is a listing the control takes as it takes a program;
        // only the nameless header asks name by name.
        ask.byHeader = ask.name.isEmpty();
    }
    return ask;
}
