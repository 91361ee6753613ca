#include "core/protocols/blockwisereceiver.h"

#include "core/protocols/blockwiseask.h"

using Blockwise::Event;

BlockwiseReceiver::BlockwiseReceiver(Clock &clock, Writer writer, QByteArray lineEnd,
                                     QObject *parent)
    : BlockwiseEngine(clock, std::move(writer), SilenceMs,
                      QStringLiteral("the control sent nothing for %1 s").arg(SilenceMs / 1000),
                      parent),
      m_lineEnd(std::move(lineEnd))
{
}

// Before the control's header the receiver waits as long as it takes: the
// machinist walks to the control to start the punch, and a listening line
// waits for ever.
void BlockwiseReceiver::start()
{
    begin();
}

void BlockwiseReceiver::take(const Event &event)
{
    switch (event.kind) {
    case Event::Header:
    case Event::Data:
        if (!m_ended && (event.kind == Event::Data) == m_header) return accept(event);
        // Our ACK of the header was lost: the control sends it again.
        if (event.kind == Event::Header && m_linesDone == 0 && BlockwiseAsk::of(event).name == m_name)
            return answer(Blockwise::ACK);
        [[fallthrough]];
    case Event::Damaged:
        if (++m_damaged >= MaxDamaged) {
            answer(Blockwise::NAK);
            return finish(ProtocolOutcome::Failed,
                          QStringLiteral("three blocks in a row were damaged"));
        }
        return answer(Blockwise::NAK);
    case Event::Directory:
        if (!m_header) accept(event);
        return;
    case Event::Control:
        if (event.byte == Blockwise::ETX && m_header) m_ended = true;
        if (event.byte != Blockwise::EOT) return;
        if (m_ended) return finish(ProtocolOutcome::Completed);
        return finish(ProtocolOutcome::Failed,
                      QStringLiteral("the control ended the transfer before the end of the program"));
    default: return;
    }
}

void BlockwiseReceiver::accept(const Event &event)
{
    m_damaged = 0;
    if (!m_header) {
        const BlockwiseAsk ask = BlockwiseAsk::of(event);
        // Asked for a program or the folder: the send that answers
        // acknowledges it.
        if (ask.kind == BlockwiseAsk::SendMe || ask.kind == BlockwiseAsk::Directory) {
            emit asked(ask.name, ask.byHeader);
            return finish(ProtocolOutcome::Completed);
        }
        if (ask.kind != BlockwiseAsk::HereComes) return answer(Blockwise::NAK);
        m_header = true;
        m_name = ask.name;
        m_code = ask.code;
        waitAgain();
        return answer(Blockwise::ACK);
    }
    const QByteArray text = event.body + m_lineEnd;
    if (m_bytesDone + text.size() > Blockwise::MaxProgram) {
        answer(Blockwise::EOT);
        return finish(ProtocolOutcome::Failed,
                      QStringLiteral("the program is larger than %1 MB")
                          .arg(Blockwise::MaxProgram / (1024 * 1024)));
    }
    m_bytesDone += text.size();
    ++m_linesDone;
    emit data(text);
    emit progressed();
    answer(Blockwise::ACK);
}

void BlockwiseReceiver::answer(char byte)
{
    if (m_paused)
        m_owed = byte;
    else
        write(QByteArray(1, byte));
}

void BlockwiseReceiver::stop()
{
    m_paused = false;
    answer(Blockwise::EOT);
    finish(ProtocolOutcome::Stopped);
}

// The control waits for the answer held meanwhile: no silence is counted.
void BlockwiseReceiver::setPaused(bool paused)
{
    m_paused = paused;
    if (!m_running) return;
    if (paused) return stopWaiting();
    waitAgain();
    if (m_owed) answer(std::exchange(m_owed, 0));
}
