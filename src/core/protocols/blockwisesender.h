#pragma once

#include "core/protocols/blockwiseengine.h"
#include "core/protocols/blockwiseplan.h"

// The PC's side of a blockwise send into the control: a program (its own
// header first, or answering the control's), the directory, or an error
// text, as its plan gives it. Each block waits for the control's ACK; a NAK
// has it again, and the third NAK of one block ends the send ("the control
// answered NAK three times"); no answer within ReplyMs ends it too ("the
// control did not answer within 10 s"), and so does the control's EOT before
// the end ("the control ended the transfer"). Every block is written whole,
// so a stop is always at a block's boundary: it writes EOT.
class BlockwiseSender : public BlockwiseEngine
{
    Q_OBJECT
public:
    static constexpr qint64 ReplyMs = 10'000;
    static constexpr int MaxTries = 3;

    BlockwiseSender(Clock &clock, Writer writer, BlockwisePlan plan, QObject *parent = nullptr);

    void start() override;
    void stop() override;
    void setPaused(bool paused) override;
    qint64 bytesTotal() const override { return m_plan.programBytes; }

private:
    void take(const Blockwise::Event &event) override;
    void taken();
    void next();

    BlockwisePlan m_plan;
    qsizetype m_block = -1; // the block waiting for its answer
    int m_tries = 0;
    bool m_held = false, m_closed = false;
};
