#include "core/protocols/blockwisesender.h"

using Blockwise::Event;

BlockwiseSender::BlockwiseSender(Clock &clock, Writer writer, BlockwisePlan plan, QObject *parent)
    : BlockwiseEngine(clock, std::move(writer), ReplyMs,
                      QStringLiteral("the control did not answer within %1 s").arg(ReplyMs / 1000),
                      parent),
      m_plan(std::move(plan))
{
}

void BlockwiseSender::start()
{
    if (!begin()) return;
    write(m_plan.opening);
    next();
}

void BlockwiseSender::take(const Event &event)
{
    if (event.kind == Event::Header && m_plan.headerAsksNext && !m_closed) {
        write(QByteArray(1, Blockwise::ACK));
        return taken();
    }
    if (event.kind != Event::Control) return; // DC1 and the like
    switch (event.byte) {
    case Blockwise::ACK:
        if (m_closed) {
            if (m_plan.awaitEnd) finish(ProtocolOutcome::Completed);
            return;
        }
        // Asked by headers, the control's ACK is not yet the next question.
        if (m_plan.headerAsksNext) return waitAgain();
        return taken();
    case Blockwise::NAK:
        if (m_closed) return;
        if (++m_tries >= MaxTries)
            return finish(ProtocolOutcome::Failed,
                          QStringLiteral("the control answered NAK three times"));
        return write(m_plan.blocks[m_block].bytes);
    case Blockwise::EOT:
        if (m_closed) return finish(ProtocolOutcome::Completed);
        return finish(ProtocolOutcome::Failed, QStringLiteral("the control ended the transfer"));
    default: return;
    }
}

// The block waiting was taken: count it and go on.
void BlockwiseSender::taken()
{
    const BlockwisePlan::Block &done = m_plan.blocks[m_block];
    m_bytesDone += done.programBytes;
    m_linesDone += done.lines;
    if (done.programBytes > 0) emit progressed();
    if (!m_running) return;
    if (m_paused) {
        stopWaiting();
        m_held = true;
        return;
    }
    next();
}

void BlockwiseSender::next()
{
    m_tries = 0;
    if (++m_block < m_plan.blocks.size()) return write(m_plan.blocks[m_block].bytes);
    m_closed = true;
    write(m_plan.closing);
    if (!m_plan.awaitEnd) finish(ProtocolOutcome::Completed);
}

void BlockwiseSender::stop()
{
    write(QByteArray(1, Blockwise::EOT));
    finish(ProtocolOutcome::Stopped);
}

void BlockwiseSender::setPaused(bool paused)
{
    m_paused = paused;
    if (paused || !m_held || !m_running) return;
    m_held = false;
    next();
}
