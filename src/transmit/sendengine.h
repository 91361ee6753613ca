#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class frmHalvec;
class QPlainTextEdit;

// Sends the selected machine's code window to the machine, line by line, as
// a state machine driven by the port's signals and by timers. Every wait
// (flow-control start, pause, drain, block delay, XOFF, clearing) returns to
// the event loop and costs nothing until something it waits for happens.
class SendEngine : public QObject
{
    Q_OBJECT
public:
    explicit SendEngine(frmHalvec &w);

    // Starts a send; returns at once. finished() follows when it has ended.
    void SendFile();
    int GetDataSize();
    bool isRunning() const { return m_state != State::Idle; }

    // The receive handler calls this after storing a received byte in
    // LastRxChar during a send (one call per byte).
    void rxCharArrived();
    // Looks again at what the send is waiting for (Stop was pressed).
    void wake();

    // The 60-per-second tick counter the block delay is measured on, and the
    // monotonic clock (nanoseconds) it counts.
    static qint64 ticks();
    static qint64 clockNs();
    // The tick at which a block delay of `ms` begun at tick `start` ends:
    // the first tick strictly after start + ms / 16.666.
    static qint64 delayEndTick(qint64 start, int ms);
    // Bytes of the end-of-block sequence for a machine's MCEOB value.
    static QByteArray endOfBlock(const QString &mceob);

    static constexpr int RunOutBytes = 2000;
    static QString waitingText();

signals:
    void finished();

private:
    enum class State {
        Idle,
        StartWait,  // modes "3" and "4": waiting for the machine to speak
        LineStart,  // Stop check, progress, scroll, select the line
        PauseHold,  // Pause is down
        Drain,      // the port still holds bytes
        DrainCheck, // looking again at the tick after the bytes' line time
        BlockDelay, // waiting for the tick that ends the block delay
        Writing,    // one Write per character
        XoffHold,   // the machine sent DC3
        RunOut,     // write the NULs
        Clearing,   // waiting for the NULs to leave
        Ending,     // purge, then finish
        Purging,
    };

    void step();
    void arm(qint64 ms);
    void writeSome();
    void progress();
    void readLine(int line);
    void showLine(bool now);
    void finish();
    void onPortLost();
    qint64 drainWaitMs(qint64 bytesLeft);
    qint64 settleMs() const;
    static qint64 msUntilTick(qint64 tick);
    // Nanoseconds one character takes on the line; 0 when unknown.
    qint64 lineNs() const;

    frmHalvec &w;
    State m_state = State::Idle;
    bool m_inStep = false;
    QTimer m_timer;

    // One send.
    int m_mc = 0;
    qint64 m_total = 0;
    qint64 m_divisor = 1;
    int m_blockDelay = 0;
    QByteArray m_eob;
    int m_flow = 0;
    int m_lastLine = 0;
    int m_line = 0;
    qint64 m_counted = 0;
    QByteArray m_lineBytes; // the line being written
    bool m_lineHasEnd = false;
    int m_shownLine = -1;
    qint64 m_shownNs = 0;
    int m_pos = 0;
    qint64 m_delayEnd = 0;
    qint64 m_checkTick = 0;
    bool m_drainChecked = false;
    bool m_xoff = false;
    bool m_lost = false;
    bool m_clearingShown = false;
    bool m_settled = false;
    QString m_savedFileName;
    qint64 m_lastLeft = -1;
    qint64 m_backoff = 0;
};
