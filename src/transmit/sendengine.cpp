#include "transmit/sendengine.h"

#include "app/bytetext.h"
#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "serial/portcontrol.h"
#include "serial/serial.h"
#include "transmit/codewindows.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>
#include <cmath>

namespace
{

constexpr char DC1 = 17;
constexpr char DC3 = 19;

// Characters are written in small batches, one Write each, so that a long
// line never holds the event loop for long.
constexpr int kBatchChars = 32;
constexpr qint64 kBatchNs = 2'000'000;

// While the port's output does not move (its own handshake holds it), the
// drain wait looks again at growing intervals up to this.
constexpr qint64 kMaxBackoffMs = 50;
// The clearing phase refreshes its progress at least this often.
constexpr qint64 kClearingRefreshMs = 100;
// The line being sent is shown (selected, scrolled to) at most this often.
constexpr qint64 kShowEveryNs = 250'000'000;

const QElapsedTimer &tickClock()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock;
}

} // namespace

SendEngine::SendEngine(frmHalvec &win) : QObject(&win), w(win)
{
    tickClock();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SendEngine::step);
    connect(&w.s1, &Serial::BytesWritten, this, [this] {
        if (m_state == State::Drain || m_state == State::Clearing) step();
    });
    connect(&w.s1, &Serial::Lost, this, &SendEngine::onPortLost);
}

qint64 SendEngine::clockNs()
{
    return tickClock().nsecsElapsed();
}

qint64 SendEngine::ticks()
{
    return clockNs() * 60 / 1'000'000'000;
}

qint64 SendEngine::delayEndTick(qint64 start, int ms)
{
    // A tick is 16.666 ms; the wait ends at the first tick strictly after
    // start + span, so even no delay waits for the next tick.
    const double span = qMax(0, ms) / 16.666;
    return qint64(std::floor(double(start) + span)) + 1;
}

QByteArray SendEngine::endOfBlock(const QString &mceob)
{
    if (mceob == QLatin1String("CR")) return QByteArray("\r");
    if (mceob == QLatin1String("LF")) return QByteArray("\n");
    if (mceob == QLatin1String("CRLFLF")) return QByteArray("\r\n\n");
    return QByteArray("\r\n");
}

QString SendEngine::waitingText()
{
    return QStringLiteral(" Waiting for data to clear the CNC Receive Buffers.............");
}

int SendEngine::GetDataSize()
{
    QPlainTextEdit *edit = w.codeWindows->current();
    QTextCursor c = edit->textCursor();
    if (c.hasSelection()) {
        c.setPosition(c.selectionStart());
        edit->setTextCursor(c);
    }
    const int length = edit->document()->characterCount() - 1;
    return qMax(0, length - 1);
}

void SendEngine::SendFile()
{
    if (isRunning()) return;
    const int size = GetDataSize();
    if (size < 1) {
        emit finished();
        return;
    }
    Module1 &m = w.m;
    m_mc = m.SelectedMC;
    m_total = qint64(size) + RunOutBytes;
    m_divisor = qMax<qint64>(1, m_total / 100);
    m_blockDelay = qMax(0, Module1::leadingNumber(m.mc(m_mc, MCBLKTIC)));
    m_eob = endOfBlock(m.mc(m_mc, MCEOB));
    const QString flow = m.mc(m_mc, MCFLOW);

    w.PBar1->setVisible(true);
    w.txtPcent->setVisible(true);
    w.PBar1->setMaximum(100);
    m_counted = 0;
    m_lineBytes.clear();
    m_shownLine = -1;
    m_shownNs = 0;
    w.cmdTX->setVisible(false);

    m.LastRxChar.clear();
    m.WatchDcCodes = false;
    m_xoff = false;
    m_lost = false;
    m_clearingShown = false;
    m_lastLeft = -1;
    m_backoff = 0;

    QPlainTextEdit *edit = w.txBuffer[m_mc];
    m_lastLine = edit->document()->blockCount() - 1;
    m_line = edit->document()->findBlock(edit->textCursor().selectionStart()).blockNumber();

    if (flow == QLatin1String("3")) {
        m_flow = 3;
        m_state = State::StartWait;
    } else if (flow == QLatin1String("4")) {
        m_flow = 4;
        m_state = State::StartWait;
    } else {
        m_flow = flow == QLatin1String("1") ? 1 : 0;
        m.WatchDcCodes = m_flow == 1;
        m_state = State::LineStart;
    }
    step();
}

void SendEngine::rxCharArrived()
{
    if (!isRunning()) return;
    const Module1 &m = w.m;
    // Every received byte passes here, so an XOFF is never missed because
    // another byte followed it before the next character was due.
    if (m.WatchDcCodes) {
        if (m.LastRxChar == QByteArray(1, DC3))
            m_xoff = true;
        else if (m.LastRxChar == QByteArray(1, DC1))
            m_xoff = false;
    }
    if (m_state == State::StartWait || m_state == State::XoffHold) step();
}

void SendEngine::wake()
{
    switch (m_state) {
    case State::StartWait:
    case State::PauseHold:
    case State::Drain:
    case State::DrainCheck:
    case State::XoffHold:
    case State::Clearing:
        m_timer.stop();
        step();
        break;
    default:
        break;
    }
}

void SendEngine::onPortLost()
{
    if (!isRunning() || m_state == State::Ending || m_state == State::Purging) return;
    m_lost = true;
    m_timer.stop();
    step();
}

qint64 SendEngine::msUntilTick(qint64 tick)
{
    const qint64 dueNs = (tick * 1'000'000'000 + 59) / 60;
    return std::max<qint64>(0, (dueNs - clockNs() + 999'999) / 1'000'000);
}

qint64 SendEngine::lineNs() const
{
    const qint32 bps = Serial::bitsPerSecond(w.s1.Baud());
    return bps > 0 ? qint64(w.s1.bitsPerCharacter()) * 1'000'000'000 / bps : 0;
}

void SendEngine::arm(qint64 ms)
{
    m_timer.start(int(std::clamp<qint64>(ms, 0, 24 * 3600 * 1000)));
}

qint64 SendEngine::drainWaitMs(qint64 bytesLeft)
{
    // Real ports say nothing when their driver queue empties: sleep for the
    // time the bytes need on the line, then look again.
    const qint32 bps = Serial::bitsPerSecond(w.s1.Baud());
    const qint64 estimate =
        bps > 0 ? qint64(std::ceil(double(bytesLeft) * w.s1.bitsPerCharacter() * 1000.0 / bps))
                : 10;
    if (bytesLeft == m_lastLeft)
        m_backoff = qMin(kMaxBackoffMs, qMax<qint64>(1, m_backoff) * 2);
    else
        m_backoff = 0;
    m_lastLeft = bytesLeft;
    return std::max({estimate, m_backoff, qint64(1)});
}

qint64 SendEngine::settleMs() const
{
    const qint32 bps = Serial::bitsPerSecond(w.s1.Baud());
    const qint64 fifo =
        bps > 0 ? qint64(std::ceil(16.0 * w.s1.bitsPerCharacter() * 1000.0 / bps)) : 20;
    return qMax<qint64>(20, fifo);
}

void SendEngine::progress()
{
    const qint64 pct = qMin<qint64>(100, m_counted / m_divisor);
    const qint64 shown = qMin<qint64>(100, qRound64(double(m_counted) / double(m_divisor)));
    const QString text = QString::number(shown) + QLatin1Char('%');
    // Both widgets repaint at once when changed; leave them alone otherwise.
    if (w.PBar1->value() != int(pct)) w.PBar1->setValue(int(pct));
    if (w.txtPcent->text() != text) w.txtPcent->setText(text);
}

void SendEngine::readLine(int line)
{
    const QTextBlock block = w.txBuffer[m_mc]->document()->findBlockByNumber(line);
    if (!block.isValid()) {
        // Lines removed while sending: nothing is left to send here.
        m_lineBytes.clear();
        m_lineHasEnd = false;
        return;
    }
    m_lineHasEnd = block.next().isValid();
    // Raw block text: one character per byte, exactly as loaded.
    m_lineBytes = textToBytes(block.text());
}

void SendEngine::showLine(bool now)
{
    if (m_shownLine == m_line - 1) return;
    // At most a few times a second: the lines of a fast send go by quicker
    // than anyone can read them, and every change repaints the code window.
    const qint64 t = clockNs();
    if (!now && t - m_shownNs < kShowEveryNs) return;
    m_shownNs = t;
    m_shownLine = m_line - 1;
    QPlainTextEdit *edit = w.txBuffer[m_mc];
    QTextDocument *doc = edit->document();
    // Scroll ahead, then select the line being sent: selecting brings it
    // back into view, near the top, with the lines that follow below it.
    const int selLine = doc->findBlock(edit->textCursor().selectionStart()).blockNumber();
    edit->verticalScrollBar()->setValue(selLine + 5);
    const QTextBlock block = doc->findBlockByNumber(m_shownLine);
    if (!block.isValid()) return;
    const QTextBlock next = block.next();
    const int end = next.isValid() ? next.position() : block.position() + block.length() - 1;
    QTextCursor c(doc);
    c.setPosition(end);
    c.setPosition(block.position(), QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
    edit->ensureCursorVisible();
}

void SendEngine::writeSome()
{
    Module1 &m = w.m;
    const int end = int(m_lineBytes.size()) + (m_lineHasEnd ? 1 : 0);
    QElapsedTimer budget;
    budget.start();
    int n = 0;
    while (m_pos < end) {
        if (m.WatchDcCodes && m.LastRxChar == QByteArray(1, DC3)) m_xoff = true;
        if (m.WatchDcCodes && m_xoff) {
            m_state = State::XoffHold;
            return;
        }
        if (n >= kBatchChars || budget.nsecsElapsed() > kBatchNs) {
            arm(0); // let the event loop run, then go on with this line
            return;
        }
        const bool ok =
            m_pos < m_lineBytes.size() ? w.s1.Write(m_lineBytes.mid(m_pos, 1)) : w.s1.Write(m_eob);
        if (!ok) {
            m_lost = true;
            return;
        }
        ++m_pos;
        ++n;
    }
    m_counted += m_lineBytes.size() + (m_lineHasEnd ? 2 : 1);
    m_state = m_line > m_lastLine ? State::RunOut : State::LineStart;
}

void SendEngine::step()
{
    if (m_inStep) return;
    m_inStep = true;
    Module1 &m = w.m;
    bool waiting = false;
    bool purge = false;
    while (!waiting) {
        if (m_lost && m_state != State::Idle && m_state != State::Ending &&
            m_state != State::Purging) {
            if (m_clearingShown) {
                w.txFileName[m_mc]->setText(m_savedFileName);
                m_clearingShown = false;
            }
            m_state = State::Ending;
        }
        switch (m_state) {
        case State::Idle:
        case State::Purging:
            waiting = true;
            break;
        case State::StartWait: {
            const bool started =
                m_flow == 3 ? !m.LastRxChar.isEmpty() : m.LastRxChar == QByteArray(1, DC1);
            if (m.StopTX) {
                m_state = State::Ending;
            } else if (started) {
                m.WatchDcCodes = true;
                m_xoff = m.LastRxChar == QByteArray(1, DC3);
                m_state = State::LineStart;
            } else {
                waiting = true;
            }
            break;
        }
        case State::LineStart:
            if (m.StopTX) {
                m_state = State::Ending;
                break;
            }
            progress();
            readLine(m_line);
            ++m_line;
            showLine(false);
            m_pos = 0;
            m_state = State::PauseHold;
            break;
        case State::PauseHold:
            if (!w.chkTXPause->isChecked()) {
                m_lastLeft = -1;
                m_drainChecked = false;
                m_state = State::Drain;
            } else if (m.StopTX) {
                m_state = State::Ending;
            } else {
                showLine(true);
                waiting = true;
            }
            break;
        case State::Drain: {
            const qint64 left = w.s1.BytesLeftToSend();
            if (left < 1) {
                m_delayEnd = delayEndTick(ticks(), m_blockDelay);
                m_state = State::BlockDelay;
            } else if (m.StopTX) {
                m_state = State::Ending;
            } else if (!m_drainChecked && lineNs() > 0) {
                // The bytes will have left at about now + their line time:
                // look first at the tick after that. Drained by then, the
                // drain ended in an earlier tick, and counting the delay
                // from the latest such tick errs on the long side. This
                // saves a wake-up per line; otherwise wait as usual.
                m_drainChecked = true;
                const qint64 drainedNs = clockNs() + left * lineNs();
                m_checkTick = drainedNs * 60 / 1'000'000'000 + 1;
                m_state = State::DrainCheck;
                arm(msUntilTick(m_checkTick));
                waiting = true;
            } else {
                arm(drainWaitMs(left));
                waiting = true;
            }
            break;
        }
        case State::DrainCheck:
            if (m.StopTX && w.s1.BytesLeftToSend() >= 1) {
                m_state = State::Ending;
            } else if (ticks() < m_checkTick) {
                arm(msUntilTick(m_checkTick));
                waiting = true;
            } else if (w.s1.BytesLeftToSend() < 1) {
                m_delayEnd = delayEndTick(m_checkTick - 1, m_blockDelay);
                m_state = State::BlockDelay;
            } else {
                m_state = State::Drain;
            }
            break;
        case State::BlockDelay:
            if (ticks() >= m_delayEnd) {
                m_state = State::Writing;
            } else {
                arm(msUntilTick(m_delayEnd));
                waiting = true;
            }
            break;
        case State::Writing:
            writeSome();
            waiting = m_state == State::Writing && !m_lost;
            break;
        case State::XoffHold:
            if (!m_xoff) {
                m_state = State::Writing;
            } else if (m.StopTX) {
                m_state = State::Ending;
            } else {
                showLine(true);
                waiting = true;
            }
            break;
        case State::RunOut:
            m_savedFileName = w.txFileName[m_mc]->text();
            w.txFileName[m_mc]->setText(waitingText());
            m_clearingShown = true;
            if (!w.s1.Write(QByteArray(RunOutBytes, '\0'))) {
                m_lost = true;
                break;
            }
            w.PBar1->setMaximum(RunOutBytes + 1);
            m_lastLeft = -1;
            m_settled = false;
            m_state = State::Clearing;
            break;
        case State::Clearing: {
            bool leave = m.StopTX;
            if (!leave) {
                const qint64 left = w.s1.BytesLeftToSend();
                const int value = int(std::clamp<qint64>(RunOutBytes - left, 0, RunOutBytes));
                const QString text =
                    QStringLiteral("%1 %").arg(qRound(value / 20.0), 2, 10, QLatin1Char('0'));
                if (w.PBar1->value() != value) w.PBar1->setValue(value);
                if (w.txtPcent->text() != text) w.txtPcent->setText(text);
                if (left == 0) {
                    // The driver's count leaves out what still sits in the
                    // UART's FIFO; give that time to go before the purge.
                    if (!m_settled) {
                        m_settled = true;
                        arm(settleMs());
                        waiting = true;
                    } else {
                        leave = true;
                    }
                } else {
                    m_settled = false;
                    arm(qMin(kClearingRefreshMs, drainWaitMs(left)));
                    waiting = true;
                }
            }
            if (leave) {
                w.txFileName[m_mc]->setText(m_savedFileName);
                m_clearingShown = false;
                m_state = State::Ending;
            }
            break;
        }
        case State::Ending:
            if (m_line > 0) showLine(true);
            m_timer.stop();
            m_state = State::Purging;
            purge = true;
            waiting = true;
            break;
        }
    }
    m_inStep = false;
    if (purge) w.portControl->S_Purge_Port(w.s1, [this] { finish(); });
}

void SendEngine::finish()
{
    if (m_state != State::Purging) return;
    w.PBar1->setValue(w.PBar1->maximum());
    w.txtPcent->setText(QStringLiteral("100%"));
    w.cmdTX->setVisible(true);
    m_state = State::Idle;
    const bool lost = m_lost;
    m_lost = false;
    emit finished();
    if (lost)
        w.platform.message(&w, QStringLiteral("The selected PC Com port is not open/available"));
}
