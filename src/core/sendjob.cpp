#include "core/sendjob.h"

#include "core/clock.h"
#include "core/serialport.h"

#include <algorithm>

namespace
{

constexpr char DC1 = 17;
constexpr char DC3 = 19;
constexpr qint64 kMs = 1'000'000;

// After the end, what the machine still sends is let in and discarded.
constexpr qint64 kPurgeNs = 300 * kMs;
// Streaming keeps this much line time waiting in the port, and tops it up
// when it has fallen to half.
constexpr qint64 kFeedNs = 50 * kMs;

using Direction = SerialPort::Direction;

} // namespace

SendSettings SendSettings::of(const MachineConfig &machine)
{
    return {machine.blockDelayMs(), machine.endOfBlock(), machine.flowMode(), machine.streams()};
}

SendJob::SendJob(SerialPort &port, Clock &clock, const Program &program, int startLine,
                 const SendSettings &settings, QObject *parent)
    : QObject(parent), m_port(port), m_timer(clock.createTimer(this)),
      m_purge(clock.createTimer(this)), m_pace(clock, port), m_program(program),
      m_settings(settings),
      m_bounded(settings.flow == FlowMode::StartOnAnyByte || settings.flow == FlowMode::StartOnDc1),
      m_line(qBound(0, startLine, program.lineCount()))
{
    connect(m_timer, &Timer::timeout, this, &SendJob::step);
    connect(m_purge, &Timer::timeout, this, &SendJob::finish);
    connect(&m_port, &SerialPort::bytesWritten, this, [this] {
        if (m_state == State::Drain || m_state == State::RunOut || m_state == State::Clearing ||
            m_state == State::Stopping)
            step();
    });
    connect(&m_port, &SerialPort::lost, this, &SendJob::onPortLost);
}

SendJob::~SendJob() = default;

void SendJob::start()
{
    if (m_state != State::Idle) return;
    m_divisor = qMax<qint64>(1, (m_program.size() + RunOutBytes) / 100);
    m_progress = {SendPhase::Lines, 0, 100, QString()};
    if (m_bounded) {
        m_state = State::StartWait;
        report(SendPhase::StartWait, 0, 100, QString());
    } else {
        m_watchDc = m_settings.flow == FlowMode::XonXoff;
        m_state = State::LineStart;
    }
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
    if (m_state == State::PauseHold) step();
}

void SendJob::feed(const QByteArray &received)
{
    if (!isRunning() || received.isEmpty()) return;
    // Every byte counts, so a DC3 is never missed because another byte
    // followed it before the next character was due.
    for (const char c : received) {
        // The byte that ends the start wait counts even when others follow
        // it in the same read; from it on, DC3 and DC1 are obeyed.
        if (m_state == State::StartWait &&
            (m_settings.flow == FlowMode::StartOnAnyByte || c == DC1))
            m_watchDc = true;
        if (m_watchDc && c == DC3) m_xoff = true;
        if (m_watchDc && c == DC1) m_xoff = false;
    }
    if (m_state == State::StartWait || m_state == State::XoffHold) step();
}

void SendJob::onPortLost()
{
    if (!isRunning() || m_state == State::Ending) return;
    m_lost = true;
    m_timer->stop();
    step();
}

void SendJob::arm(qint64 ns)
{
    m_timer->startNs(std::clamp<qint64>(ns, 0, 24 * 3600 * 1000 * kMs));
}

void SendJob::report(SendPhase phase, int value, int maximum, const QString &text, bool held)
{
    const SendProgress p{phase, value, maximum, text, held};
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

void SendJob::reportClearing(qint64 left)
{
    const int value = int(std::clamp<qint64>(RunOutBytes - m_runOutLeft - left, 0, RunOutBytes));
    report(SendPhase::Clearing, value, RunOutBytes + 1,
           QStringLiteral("%1 %").arg(qRound(value / 20.0), 2, 10, QLatin1Char('0')));
}

bool SendJob::stopRequested(State next)
{
    if (!m_stop) return false;
    m_state = next;
    m_pace.resetDrain();
    m_settled = false;
    return true;
}

void SendJob::step()
{
    if (m_inStep) return;
    m_inStep = true;
    while (stepOnce()) {
    }
    m_inStep = false;
}

bool SendJob::stepOnce()
{
    if (m_lost && m_state != State::Ending && isRunning()) m_state = State::Ending;
    switch (m_state) {
    case State::Idle:
    case State::Done:
        return false;
    case State::StartWait:
        if (m_stop) {
            m_state = State::Ending; // nothing was written
            return true;
        }
        if (!m_watchDc) return false;
        m_state = State::LineStart;
        return true;
    case State::LineStart:
        if (stopRequested(State::Stopping)) return true;
        reportLines();
        m_lineBytes = m_program.line(m_line);
        m_lineHasEnd = m_program.lineHasEnd(m_line);
        ++m_line;
        m_pos = 0;
        emit lineStarted(currentLine());
        m_state = State::PauseHold;
        if (m_paused) emit holding(currentLine());
        return true;
    case State::PauseHold:
        if (stopRequested(State::Stopping)) return true;
        if (m_paused) return false;
        m_pace.resetDrain();
        m_drainChecked = false;
        m_state = m_settings.streams ? State::Feed : State::Drain;
        return true;
    case State::Feed: {
        if (stopRequested(State::Stopping)) return true;
        // Enough waits in the port: sleep until half of it has gone.
        const qint64 queued = m_bounded ? 0 : m_port.bytesToWrite() * m_pace.characterNs();
        if (queued > kFeedNs) {
            arm(queued - kFeedNs / 2);
            return false;
        }
        m_state = State::Writing;
        return true;
    }
    case State::Drain: {
        if (stopRequested(State::Stopping)) return true;
        const qint64 left = m_port.bytesToWrite();
        if (left < 1) {
            m_delayEnd = LinePace::delayEndTick(m_pace.ticks(), m_settings.blockDelayMs);
            m_state = State::BlockDelay;
            return true;
        }
        if (!m_drainChecked && m_pace.characterNs() > 0) {
            // The bytes will have left at about now + their line time: look
            // first at the tick after that. Drained by then, the drain ended
            // in an earlier tick, and counting the delay from the latest
            // such tick errs on the long side. This saves a wake-up per line.
            m_drainChecked = true;
            m_checkTick = (m_pace.nowNs() + left * m_pace.characterNs()) * 60 / 1'000'000'000 + 1;
            m_state = State::DrainCheck;
            arm(m_pace.nsUntilTick(m_checkTick));
        } else {
            arm(m_pace.drainWaitNs(left));
        }
        return false;
    }
    case State::DrainCheck:
        if (stopRequested(State::Stopping)) return true;
        if (m_pace.ticks() < m_checkTick) {
            arm(m_pace.nsUntilTick(m_checkTick));
            return false;
        }
        if (m_port.bytesToWrite() < 1) {
            m_delayEnd = LinePace::delayEndTick(m_checkTick - 1, m_settings.blockDelayMs);
            m_state = State::BlockDelay;
        } else {
            m_state = State::Drain;
        }
        return true;
    case State::BlockDelay:
        if (stopRequested(State::Stopping)) return true;
        if (m_pace.ticks() >= m_delayEnd) {
            m_state = State::Writing;
            return true;
        }
        arm(m_pace.nsUntilTick(m_delayEnd));
        return false;
    case State::Writing:
        writeSome();
        return m_state != State::Writing || m_lost;
    case State::XoffHold:
        if (!m_xoff) {
            m_state = State::Writing;
            return true;
        }
        if (!m_stop) return false;
        // Stopped while the machine holds. The run-out, or a line not begun,
        // is simply not finished; a begun line waits for DC1, unless the user
        // stops again and so chooses to drop it.
        if (m_discard || m_runOut) {
            m_port.flush(Direction::Output);
            m_state = State::Ending;
            return true;
        }
        if (m_pos == 0) return stopRequested(State::Stopping);
        report(SendPhase::Stopping, m_progress.value, m_progress.maximum, m_progress.text, true);
        return false;
    case State::RunOut: {
        if (stopRequested(State::Stopping)) return true;
        // The last line leaves whole before the NULs follow it, so that only
        // NULs wait in the port while clearing.
        const qint64 left = m_port.bytesToWrite();
        if (left > 0) {
            arm(m_pace.drainWaitNs(left));
            return false;
        }
        m_runOut = true;
        m_runOutLeft = RunOutBytes;
        reportClearing(0);
        m_state = State::Writing;
        return true;
    }
    case State::Clearing:
        if (!clearingStep()) return false;
        m_state = State::Ending;
        return true;
    case State::Stopping:
        if (!stoppingStep()) return false;
        m_state = State::Ending;
        return true;
    case State::Ending:
        if (!m_purge->isActive()) {
            m_timer->stop();
            m_outcome = m_lost   ? SendOutcome::PortLost
                        : m_stop ? SendOutcome::Stopped
                                 : SendOutcome::Completed;
            m_purge->startNs(kPurgeNs);
        }
        return false;
    }
    return false;
}

void SendJob::finish()
{
    if (m_state != State::Ending) return;
    // What the machine sent meanwhile must not reach whoever reads next.
    m_port.flush(Direction::Input);
    m_state = State::Done;
    report(SendPhase::Done, m_progress.maximum, m_progress.maximum, QStringLiteral("100%"));
    emit finished(m_outcome);
}
