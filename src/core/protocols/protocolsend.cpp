#include "core/protocols/protocolsend.h"

#include "core/ports/serialport.h"
#include "core/protocols/protocoltransfer.h"

ProtocolSend::ProtocolSend(SerialPort &port, const Program &program, int startLine,
                           ProtocolTransfer *engine, QObject *parent)
    : SendTransfer(parent), m_program(program),
      m_startLine(qBound(0, startLine, program.lineCount())), m_engine(engine)
{
    m_engine->setParent(this);
    connect(m_engine, &ProtocolTransfer::progressed, this, &ProtocolSend::update);
    connect(m_engine, &ProtocolTransfer::finished, this, &ProtocolSend::ended);
    connect(&port, &SerialPort::lost, m_engine, &ProtocolTransfer::portLost);
    m_progress.lines = m_program.lineCount();
}

QByteArray ProtocolSend::payload(const Program &program, int startLine,
                                 const QByteArray &endOfBlock, QList<qint64> *lineEnds)
{
    QByteArray out;
    for (int i = qMax(0, startLine); i < program.lineCount(); ++i) {
        out += program.line(i);
        if (program.lineHasEnd(i)) out += endOfBlock;
        // An empty last line is what follows the final line end, no line.
        if (program.lineHasEnd(i) || !program.line(i).isEmpty()) lineEnds->append(out.size());
    }
    return out;
}

void ProtocolSend::start()
{
    m_engine->start();
    update();
}

void ProtocolSend::stop()
{
    m_engine->stop();
}

void ProtocolSend::setPaused(bool paused)
{
    if (paused == m_paused || m_done) return;
    m_paused = paused;
    m_engine->setPaused(paused);
    update();
    if (paused) emit holding(currentLine());
}

bool ProtocolSend::isRunning() const
{
    return !m_done && m_engine->isRunning();
}

qsizetype ProtocolSend::feed(const QByteArray &received)
{
    // Everything the machine says during the transfer is the protocol's.
    m_engine->feed(received);
    return received.size();
}

bool ProtocolSend::waitsForMachine() const
{
    return isRunning() && m_engine->waitsForPeer();
}

qint64 ProtocolSend::bytesSent() const
{
    return m_engine->bytesDone();
}

int ProtocolSend::linesSent() const
{
    return m_engine->linesDone();
}

QString ProtocolSend::why() const
{
    return m_engine->why();
}

void ProtocolSend::update()
{
    SendProgress p = m_progress;
    const qint64 total = m_engine->bytesTotal();
    const bool waits = waitsForMachine();
    p.phase = m_done ? SendPhase::Done : waits ? SendPhase::StartWait : SendPhase::Lines;
    p.wait = waits ? SendWait::MachineFirst : m_paused && !m_done ? SendWait::Pause : SendWait::None;
    if (!m_done || m_outcome == SendOutcome::Completed)
        p.percent = total > 0 ? int(m_engine->bytesDone() * 100 / total) : m_done ? 100 : 0;
    p.value = p.percent;
    p.text = QStringLiteral("%1%").arg(p.percent);
    p.sent = m_engine->linesDone();
    const int line = qMin(m_startLine + p.sent + (m_done ? 0 : 1), m_program.lineCount());
    const bool moved = line != p.line && !waits;
    if (moved) p.line = line;
    if (p == m_progress) return;
    m_progress = p;
    if (moved && !m_done) emit lineStarted(line - 1);
    emit progressChanged(p);
}

void ProtocolSend::ended(ProtocolOutcome outcome)
{
    m_done = true;
    m_outcome = outcomeOf(outcome);
    update();
    emit finished(m_outcome);
}

SendOutcome ProtocolSend::outcomeOf(ProtocolOutcome outcome)
{
    switch (outcome) {
    case ProtocolOutcome::Completed:
        return SendOutcome::Completed;
    case ProtocolOutcome::Stopped:
        return SendOutcome::Stopped;
    case ProtocolOutcome::PortLost:
        return SendOutcome::PortLost;
    case ProtocolOutcome::Failed:
        break;
    }
    return SendOutcome::Failed;
}
