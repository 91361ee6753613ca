#include "core/protocols/blockwiseplan.h"

#include "core/protocols/blockwiseframe.h"

namespace
{
QByteArray printable(QByteArray text, char lowest)
{
    for (char &c : text)
        if (c < lowest || c > '~') c = '?';
    return text;
}
} // namespace

BlockwisePlan programPlan(const QByteArray &program, const QByteArray &name, char code,
                          bool answering)
{
    BlockwisePlan plan;
    if (answering)
        plan.opening = QByteArray(1, Blockwise::ACK);
    else
        plan.blocks += {Blockwise::header(code, name, 'E'), 0, 0};
    qsizetype at = 0;
    while (at < program.size()) {
        qsizetype end = program.indexOf('\n', at);
        end = end < 0 ? program.size() : end + 1;
        QByteArrayView line = QByteArrayView(program).sliced(at, end - at);
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        plan.blocks += {Blockwise::dataBlock(line), end - at, 1};
        at = end;
    }
    // The sender ends the transfer: ETX, then EOT, as a control does when it
    // sends; an ACK the control may give the ETX changes nothing.
    plan.closing = QByteArray(1, Blockwise::ETX) + Blockwise::EOT;
    plan.awaitEnd = false;
    plan.programBytes = program.size();
    return plan;
}

BlockwisePlan directoryPlan(const QList<FolderEntry> &entries, bool byHeader)
{
    BlockwisePlan plan;
    if (byHeader) {
        plan.opening = QByteArray(1, Blockwise::ACK);
        plan.headerAsksNext = true;
        for (const FolderEntry &e : entries)
            plan.blocks += {Blockwise::dataBlock(printable(e.name, '!')), 0, 0};
        plan.closing = QByteArray(1, Blockwise::ETX);
        return plan;
    }
    QByteArray listing = "DIRECTORY\r\n\r\nNAME SECTORS\r\n\r\n";
    for (const FolderEntry &e : entries)
        listing += printable(e.name, '!') + ' ' +
                   QByteArray::number(qMax<qint64>(1, (e.size + 511) / 512)) + "\r\n";
    plan.closing = listing + Blockwise::ETX;
    return plan;
}

BlockwisePlan refusalPlan(const QByteArray &text)
{
    BlockwisePlan plan;
    // The control shows it and ends the transfer; no answer is waited for.
    plan.closing = Blockwise::errorBlock(printable(text.left(32), ' '));
    plan.awaitEnd = false;
    return plan;
}
