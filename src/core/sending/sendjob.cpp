#include "core/sending/sendjob.h"

#include "core/base/clock.h"
#include "core/ports/serialport.h"

#include <algorithm>

// The send's state machine: every change of state, and what Stop, Pause, the
// machine's DC3/DC1 and a lost port do, is decided in this file. The output
// (sendoutput.cpp) and the waits (linepace.cpp) only say what happened.

namespace
{

constexpr qint64 kMs = 1'000'000;

// After the end, what the machine still sends is let in and discarded.
constexpr qint64 kPurgeNs = 300 * kMs;
// Streaming keeps this much line time waiting in the port, and tops it up
// when it has fallen to half.
constexpr qint64 kFeedNs = 50 * kMs;
// Progress while clearing and stopping is refreshed at least this often.
constexpr qint64 kRefreshNs = 100 * kMs;

using Direction = SerialPort::Direction;
using Result = SendOutput::Result;

} // namespace

SendJob::SendJob(SerialPort &port, Clock &clock, const Program &program, int startLine,
                 const SendSettings &settings, QObject *parent)
    : SendTransfer(parent), m_port(port), m_timer(clock.createTimer(this)),
      m_purge(clock.createTimer(this)), m_program(program), m_settings(settings),
      m_bounded(settings.flow == FlowMode::StartOnAnyByte || settings.flow == FlowMode::StartOnDc1),
      m_pace(clock, port),
      m_out(port, m_pace, settings, m_bounded || settings.holdsItself() ? QueueLimit : 0),
      m_flow(settings.flow), m_lineHold(port, settings.flow, settings.handshakeDelayMs),
      m_line(qBound(0, startLine, program.lineCount()))
{
    connect(&m_lineHold, &LineHold::changed, this, [this](bool held) {
        m_out.hold(held);
        if (m_state == State::Held) step();
    });
    connect(m_timer, &Timer::timeout, this, &SendJob::step);
    connect(m_purge, &Timer::timeout, this, &SendJob::finish);
    connect(&m_port, &SerialPort::bytesWritten, this, [this] {
        if (waitsForDrain()) step();
    });
    connect(&m_port, &SerialPort::lost, this, [this] {
        if (!isRunning() || m_state == State::Ending) return;
        m_lost = true;
        m_timer->stop();
        step();
    });
}

SendJob::~SendJob() = default;

void SendJob::start()
{
    if (m_state != State::Idle) return;
    m_divisor = qMax<qint64>(1, (m_program.size() + RunOutBytes) / 100);
    for (int i = m_line; i < m_program.lineCount(); ++i)
        m_toCount += measure(i);
    m_progress = {SendPhase::Lines, 0, 100, QString()};
    if (m_bounded) {
        m_state = State::StartWait;
        report(SendPhase::StartWait, 0, 100, QString());
    } else {
        m_flow.begin();
        m_state = State::LineStart;
    }
    m_lineHold.start();
    step();
}

void SendJob::stop()
{
    if (!isRunning() || m_state == State::Ending) return;
    (m_stop ? m_discard : m_stop) = true;
    m_timer->stop();
    step();
}

void SendJob::setPaused(bool paused)
{
    m_paused = paused;
    if (m_state == State::Paused) step();
}

qsizetype SendJob::feed(const QByteArray &received)
{
    if (!isRunning() || received.isEmpty()) return 0;
    const FlowWatch::Heard heard =
        m_flow.hear(received, m_state == State::StartWait, m_pace.held());
    if (heard.hold) m_out.hold(*heard.hold);
    if (heard.answer != FlowWatch::Answer::None && m_state != State::Ending) {
        // Nothing more goes to a control that has given up on the program.
        m_answered = heard.answer == FlowWatch::Answer::Reset ? SendOutcome::ControlReset
                                                              : SendOutcome::ControlAlarm;
        m_timer->stop();
        dropOutput();
    }
    if (m_state == State::StartWait || m_state == State::Held || m_state == State::Ending) step();
    return heard.sign;
}

// Woken when the port reports bytes written: only while waiting for it to drain.
bool SendJob::waitsForDrain() const
{
    return m_state == State::RunOut || m_state == State::Clearing || m_state == State::Stopping ||
           (m_state == State::Pacing && !m_settings.streams && m_pace.draining());
}

bool SendJob::sleep(qint64 ns)
{
    m_timer->startNs(std::clamp<qint64>(ns, 0, 24 * 3600 * 1000 * kMs));
    return false;
}

void SendJob::step()
{
    if (m_inStep) return;
    m_inStep = true;
    while (stepOnce()) {
    }
    m_inStep = false;
    // Whatever it waits for now is shown.
    if (isRunning()) report(m_progress.phase, m_progress.value, m_progress.maximum, m_progress.text,
                            m_progress.held);
}

int SendJob::lineCount() const
{
    const int n = m_program.lineCount();
    return n > 0 && m_program.line(n - 1).isEmpty() && n > 1 ? n - 1 : n;
}

SendWait SendJob::waitReason() const
{
    const SendWait machine = m_settings.flow == FlowMode::RtsCts   ? SendWait::Cts
                             : m_settings.flow == FlowMode::DtrDsr ? SendWait::Dsr
                                                                   : SendWait::Xoff;
    switch (m_state) {
    case State::StartWait:
        return SendWait::MachineFirst;
    case State::Paused:
        return m_paused ? SendWait::Pause : SendWait::None;
    case State::Held:
        return machine;
    case State::Pacing:
    case State::Sending:
        // The port's own handshake holds the output: it stops moving.
        return m_pace.held() ? machine : SendWait::None;
    default:
        return SendWait::None;
    }
}

bool SendJob::stepOnce()
{
    if (isRunning() && m_state != State::Ending) {
        if (m_lost)
            m_state = State::Ending;
        else if (m_stop)
            applyStop();
    }
    switch (m_state) {
    case State::Idle:
    case State::Done:
        return false;
    case State::StartWait:
        if (!m_flow.watching()) return false;
        m_state = State::LineStart;
        return true;
    case State::LineStart:
        startLine();
        return true;
    case State::Paused:
        if (m_paused) return false;
        m_pace.startBlockWait();
        m_state = State::Pacing;
        return true;
    case State::Pacing: {
        const auto wait = !m_settings.streams ? m_pace.blockWaitNs(m_settings.blockDelayMs)
                          : m_bounded         ? std::nullopt
                                              : m_pace.feedWaitNs(kFeedNs);
        if (wait) return sleep(*wait);
        m_state = State::Sending;
        return true;
    }
    case State::Sending:
        return afterWrite(m_out.write());
    case State::Held:
        if (m_out.held()) return false;
        m_state = State::Sending;
        return true;
    case State::RunOut:
        // The last line leaves whole before the NULs follow it, so that only
        // NULs wait in the port while clearing.
        if (const auto wait = m_pace.drainedWaitNs()) return sleep(*wait);
        m_out.startRunOut(RunOutBytes);
        reportClearing();
        m_state = State::Sending;
        return true;
    case State::Clearing:
        reportClearing();
        if (const auto wait = m_pace.emptyWaitNs(kRefreshNs)) return sleep(*wait);
        m_state = State::Ending;
        return true;
    case State::Stopping: {
        const auto wait = m_pace.emptyWaitNs(kRefreshNs);
        reportStopping(m_pace.held());
        if (wait) return sleep(*wait);
        m_state = State::Ending;
        return true;
    }
    case State::Ending:
        if (!m_purge->isActive()) {
            m_timer->stop();
            m_outcome = m_lost                                 ? SendOutcome::PortLost
                        : m_answered != SendOutcome::Completed ? m_answered
                        : m_stop                               ? SendOutcome::Stopped
                                                               : SendOutcome::Completed;
            m_purge->startNs(kPurgeNs);
        }
        return false;
    }
    return false;
}

// What Stop does depends only on where the send is. A line begun is
// finished, and what the port was given goes out whole; only the NULs of the
// run-out may be dropped. Held by the machine mid-line, the send waits for
// DC1 unless the user stops again and so chooses to drop the line.
void SendJob::applyStop()
{
    switch (m_state) {
    case State::StartWait:
        m_state = State::Ending; // nothing was written
        return;
    case State::LineStart:
    case State::Paused:
    case State::Pacing:
    case State::RunOut:
        return toStopping();
    case State::Sending:
    case State::Held:
        if (m_out.runningOut()) return dropOutput();
        if (!m_out.begun()) return toStopping();
        if (m_state == State::Held) m_discard ? dropOutput() : reportStopping(true);
        return;
    case State::Clearing:
        return dropOutput();
    case State::Stopping:
        if (m_discard) dropOutput();
        return;
    case State::Idle:
    case State::Ending:
    case State::Done:
        return;
    }
}

void SendJob::toStopping()
{
    m_state = State::Stopping;
    m_pace.resetDrain();
}

void SendJob::dropOutput()
{
    m_port.flush(Direction::Output);
    m_state = State::Ending;
}

void SendJob::startLine()
{
    reportLines();
    m_out.startLine(m_program.line(m_line), m_program.lineHasEnd(m_line),
                    m_line + 1 == lineCount());
    ++m_line;
    emit lineStarted(currentLine());
    m_state = State::Paused;
    if (m_paused) emit holding(currentLine());
}

bool SendJob::afterWrite(Result result)
{
    if (m_out.runningOut()) reportClearing();
    switch (result) {
    case Result::Done:
        if (!m_out.runningOut()) {
            lineDone();
        } else {
            m_pace.resetDrain();
            m_state = State::Clearing;
        }
        return true;
    case Result::Held:
        m_state = State::Held;
        if (!m_out.runningOut()) emit holding(currentLine());
        return true;
    case Result::Full:
        return sleep(m_out.waitNs());
    case Result::Yield:
        return sleep(0); // let the event loop run, then go on
    case Result::Lost:
        m_lost = true;
        return true;
    }
    return false;
}

// A line's share of the send's progress.
qint64 SendJob::measure(int line) const
{
    return m_program.line(line).size() + (m_program.lineHasEnd(line) ? 2 : 1);
}

void SendJob::lineDone()
{
    m_counted += measure(currentLine());
    if (!m_program.line(currentLine()).isEmpty() || m_program.lineHasEnd(currentLine()))
        ++m_linesSent;
    m_state = m_line >= m_program.lineCount() ? State::RunOut : State::LineStart;
}

void SendJob::report(SendPhase phase, int value, int maximum, const QString &text, bool held)
{
    SendProgress p{phase, value, maximum, text, held};
    p.wait = waitReason();
    p.line = m_line;
    p.lines = lineCount();
    p.sent = m_linesSent;
    // The lines from the start line on and the run-out, as one whole.
    const qint64 whole = m_toCount + RunOutBytes;
    switch (phase) {
    case SendPhase::Lines:
        p.percent = int(qMin(m_counted, m_toCount) * 100 / whole);
        break;
    case SendPhase::Clearing:
        p.percent = int((m_toCount + value) * 100 / whole);
        break;
    case SendPhase::Done:
        p.percent = m_outcome == SendOutcome::Completed ? 100 : m_progress.percent;
        break;
    case SendPhase::StartWait:
    case SendPhase::Stopping:
        p.percent = m_progress.percent;
        break;
    }
    // What is left at the line's own rate, the block delays and the run-out
    // included.
    const qint64 bytes = qMax<qint64>(0, m_toCount - m_counted) + RunOutBytes;
    p.leftMs = (bytes * m_pace.characterNs() / kMs +
                qint64(qMax(0, p.lines - m_line)) * m_settings.blockDelayMs);
    if (phase == SendPhase::Clearing || phase == SendPhase::Done) p.leftMs = 0;
    if (p == m_progress) return;
    m_progress = p;
    emit progressChanged(p);
}

void SendJob::reportLines()
{
    const qint64 value = qMin<qint64>(100, m_counted / m_divisor);
    const qint64 shown = qMin<qint64>(100, qRound64(double(m_counted) / double(m_divisor)));
    report(SendPhase::Lines, int(value), 100, QString::number(shown) + u'%');
}

void SendJob::reportClearing()
{
    const qint64 sent = RunOutBytes - m_out.runOutLeft() - m_port.bytesToWrite();
    const int value = int(std::clamp<qint64>(sent, 0, RunOutBytes));
    report(SendPhase::Clearing, value, RunOutBytes + 1,
           QStringLiteral("%1 %").arg(qRound(value / 20.0), 2, 10, QLatin1Char('0')));
}

void SendJob::reportStopping(bool held)
{
    report(SendPhase::Stopping, m_progress.value, m_progress.maximum, m_progress.text, held);
}

void SendJob::finish()
{
    if (m_state != State::Ending) return;
    // What the machine sent meanwhile must not reach whoever reads next,
    // unless it was somebody's.
    if (!m_settings.keepInput) m_port.flush(Direction::Input);
    m_lineHold.stop();
    m_state = State::Done;
    // A send that did not end whole shows how far it got.
    if (m_outcome == SendOutcome::Completed)
        report(SendPhase::Done, m_progress.maximum, m_progress.maximum, QStringLiteral("100%"));
    else
        report(SendPhase::Done, m_progress.value, m_progress.maximum, m_progress.text);
    emit finished(m_outcome);
}
