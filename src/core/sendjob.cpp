#include "core/sendjob.h"

#include "core/clock.h"
#include "core/serialport.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr char DC1 = 17;
constexpr char DC3 = 19;
constexpr qint64 kMs = 1'000'000;
constexpr qint64 kTickNs = 1'000'000'000;

// Characters are written in small batches, one write each, so that a long
// line never holds the event loop for long.
constexpr int kBatchChars = 32;
constexpr qint64 kBatchNs = 2 * kMs;
// While the port's output does not move (its own handshake holds it), the
// drain wait looks again at growing intervals up to this.
constexpr qint64 kMaxBackoffNs = 50 * kMs;
// The clearing phase refreshes its progress at least this often.
constexpr qint64 kClearingRefreshNs = 100 * kMs;
// The pause of the purge at the end of every send.
constexpr qint64 kPurgeNs = 300 * kMs;

} // namespace

SendSettings SendSettings::of(const MachineConfig &machine)
{
    return {machine.blockDelayMs(), machine.endOfBlock(), machine.flowMode()};
}

SendJob::SendJob(SerialPort &port, Clock &clock, const Program &program, int startLine,
                 const SendSettings &settings, QObject *parent)
    : QObject(parent), m_port(port), m_clock(clock), m_timer(clock.createTimer(this)),
      m_purge(clock.createTimer(this)), m_program(program), m_settings(settings),
      m_line(qBound(0, startLine, program.lineCount()))
{
    connect(m_timer, &Timer::timeout, this, &SendJob::step);
    connect(m_purge, &Timer::timeout, this, &SendJob::finish);
    connect(&m_port, &SerialPort::bytesWritten, this, [this] {
        if (m_state == State::Drain || m_state == State::Clearing) step();
    });
    connect(&m_port, &SerialPort::lost, this, &SendJob::onPortLost);
}

SendJob::~SendJob() = default;

qint64 SendJob::delayEndTick(qint64 start, int ms)
{
    const double span = qMax(0, ms) / 16.666;
    return qint64(std::floor(double(start) + span)) + 1;
}

qint64 SendJob::ticks() const
{
    return m_clock.nowNs() * 60 / kTickNs;
}

qint64 SendJob::nsUntilTick(qint64 tick) const
{
    const qint64 dueNs = (tick * kTickNs + 59) / 60;
    return std::max<qint64>(0, dueNs - m_clock.nowNs());
}

qint64 SendJob::characterNs() const
{
    return m_port.settings().characterNs();
}

void SendJob::start()
{
    if (m_state != State::Idle) return;
    m_divisor = qMax<qint64>(1, (m_program.size() + RunOutBytes) / 100);
    m_progress = {SendPhase::Lines, 0, 100, QString()};
    const FlowMode flow = m_settings.flow;
    if (flow == FlowMode::StartOnAnyByte || flow == FlowMode::StartOnDc1) {
        m_state = State::StartWait;
        report(SendPhase::StartWait, 0, 100, QString());
    } else {
        m_watchDc = flow == FlowMode::XonXoff;
        m_state = State::LineStart;
    }
    step();
}

void SendJob::stop()
{
    if (!isRunning() || m_state == State::Ending || m_state == State::Purging) return;
    m_stop = true;
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
    if (!isRunning() || m_state == State::Ending || m_state == State::Purging) return;
    m_lost = true;
    m_timer->stop();
    step();
}

void SendJob::arm(qint64 ns)
{
    m_timer->startNs(std::clamp<qint64>(ns, 0, 24 * 3600 * kTickNs));
}

qint64 SendJob::drainWaitNs(qint64 bytesLeft)
{
    // Real ports say nothing when their driver queue empties: sleep for the
    // time the bytes need on the line, then look again.
    const qint64 perChar = characterNs();
    const qint64 estimate = perChar > 0 ? bytesLeft * perChar : 10 * kMs;
    if (bytesLeft == m_lastLeft)
        m_backoffNs = qMin(kMaxBackoffNs, qMax<qint64>(kMs, m_backoffNs) * 2);
    else
        m_backoffNs = 0;
    m_lastLeft = bytesLeft;
    return std::max({estimate, m_backoffNs, kMs});
}

qint64 SendJob::settleNs() const
{
    // The driver's count leaves out what still sits in the UART's FIFO.
    return qMax<qint64>(20 * kMs, 16 * characterNs());
}

void SendJob::report(SendPhase phase, int value, int maximum, const QString &text)
{
    const SendProgress p{phase, value, maximum, text};
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

void SendJob::writeSome()
{
    const qsizetype end = m_lineBytes.size() + (m_lineHasEnd ? 1 : 0);
    const qint64 started = m_clock.nowNs();
    int n = 0;
    while (m_pos < end) {
        if (m_watchDc && m_xoff) {
            m_state = State::XoffHold;
            emit holding(currentLine());
            return;
        }
        if (n >= kBatchChars || m_clock.nowNs() - started > kBatchNs) {
            arm(0); // let the event loop run, then go on with this line
            return;
        }
        const bool ok = m_pos < m_lineBytes.size()
                            ? m_port.write(QByteArray(1, m_lineBytes[m_pos]))
                            : m_port.write(m_settings.endOfBlock);
        if (!ok) {
            m_lost = true;
            return;
        }
        ++m_pos;
        ++n;
    }
    m_counted += m_lineBytes.size() + (m_lineHasEnd ? 2 : 1);
    m_state = m_line >= m_program.lineCount() ? State::RunOut : State::LineStart;
}

bool SendJob::clearingStep()
{
    if (m_stop) return true;
    const qint64 left = m_port.bytesToWrite();
    const int value = int(std::clamp<qint64>(RunOutBytes - left, 0, RunOutBytes));
    report(SendPhase::Clearing, value, RunOutBytes + 1,
           QStringLiteral("%1 %").arg(qRound(value / 20.0), 2, 10, QLatin1Char('0')));
    if (left > 0) {
        m_settled = false;
        arm(qMin(kClearingRefreshNs, drainWaitNs(left)));
        return false;
    }
    if (m_settled) return true;
    // Give what the UART still holds time to go before the purge.
    m_settled = true;
    arm(settleNs());
    return false;
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
    if (m_lost && isRunning() && m_state != State::Ending && m_state != State::Purging)
        m_state = State::Ending;
    switch (m_state) {
    case State::Idle:
    case State::Purging:
    case State::Done:
        return false;
    case State::StartWait:
        if (m_stop) {
            m_state = State::Ending;
            return true;
        }
        if (!m_watchDc) return false;
        m_state = State::LineStart;
        return true;
    case State::LineStart:
        if (m_stop) {
            m_state = State::Ending;
            return true;
        }
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
        if (!m_paused) {
            m_lastLeft = -1;
            m_drainChecked = false;
            m_state = State::Drain;
            return true;
        }
        if (m_stop) m_state = State::Ending;
        return m_stop;
    case State::Drain: {
        const qint64 left = m_port.bytesToWrite();
        if (left < 1) {
            m_delayEnd = delayEndTick(ticks(), m_settings.blockDelayMs);
            m_state = State::BlockDelay;
            return true;
        }
        if (m_stop) {
            m_state = State::Ending;
            return true;
        }
        if (!m_drainChecked && characterNs() > 0) {
            // The bytes will have left at about now + their line time: look
            // first at the tick after that. Drained by then, the drain ended
            // in an earlier tick, and counting the delay from the latest
            // such tick errs on the long side. This saves a wake-up per line.
            m_drainChecked = true;
            m_checkTick = (m_clock.nowNs() + left * characterNs()) * 60 / kTickNs + 1;
            m_state = State::DrainCheck;
            arm(nsUntilTick(m_checkTick));
        } else {
            arm(drainWaitNs(left));
        }
        return false;
    }
    case State::DrainCheck:
        if (m_stop && m_port.bytesToWrite() >= 1) {
            m_state = State::Ending;
            return true;
        }
        if (ticks() < m_checkTick) {
            arm(nsUntilTick(m_checkTick));
            return false;
        }
        if (m_port.bytesToWrite() < 1) {
            m_delayEnd = delayEndTick(m_checkTick - 1, m_settings.blockDelayMs);
            m_state = State::BlockDelay;
        } else {
            m_state = State::Drain;
        }
        return true;
    case State::BlockDelay:
        if (ticks() >= m_delayEnd) {
            m_state = State::Writing;
            return true;
        }
        arm(nsUntilTick(m_delayEnd));
        return false;
    case State::Writing:
        writeSome();
        return m_state != State::Writing || m_lost;
    case State::XoffHold:
        if (!m_xoff) {
            m_state = State::Writing;
            return true;
        }
        if (m_stop) m_state = State::Ending;
        return m_stop;
    case State::RunOut:
        if (!m_port.write(QByteArray(RunOutBytes, '\0'))) {
            m_lost = true;
            return true;
        }
        m_lastLeft = -1;
        m_settled = false;
        m_state = State::Clearing;
        return true;
    case State::Clearing:
        if (!clearingStep()) return false;
        m_state = State::Ending;
        return true;
    case State::Ending:
        // Every send ends with the purge: at top speed, everything still
        // pending is discarded, then the machine's settings come back.
        m_timer->stop();
        m_outcome = m_lost ? SendOutcome::PortLost
                    : m_stop ? SendOutcome::Stopped
                             : SendOutcome::Completed;
        m_state = State::Purging;
        m_restore = m_port.settings();
        {
            LineSettings fast = m_restore;
            fast.speed = 115200;
            m_port.apply(fast);
        }
        m_port.flush();
        m_purge->startNs(kPurgeNs);
        return false;
    }
    return false;
}

void SendJob::finish()
{
    if (m_state != State::Purging) return;
    m_port.apply(m_restore);
    m_state = State::Done;
    report(SendPhase::Done, m_progress.maximum, m_progress.maximum, QStringLiteral("100%"));
    emit finished(m_outcome);
}
