#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class frmHalvec;
class rxedit;

// Routes every byte received on s1 by the link's state: to the send engine's
// XON/XOFF watch, to the RX-Edit window, to Port Scan, or away.
//
// A run of the handler starts with the first data and ends after a silence
// (half a second of tmrRX_Timeout ticks, or ten 500 ms polls during Port
// Scan). It is a state machine driven by DataAvailable and the timers: every
// step reads what is waiting and returns to the event loop at once.
class ReceiveHandler : public QObject
{
    Q_OBJECT
public:
    explicit ReceiveHandler(frmHalvec &w);

    void s1_DataAvailable();
    void mnuReceive_Action();
    void tmrRX_Timeout_Action();
    // Puts the caret of the RX-Edit text after its last character.
    void PlaceSelStartAtEndOfBuffer();

    // Received text not shown yet is dropped (the RX-Edit text was emptied).
    void dropPending();
    // Ticks of tmrRX_Timeout that end a burst, and polls that end a Port Scan run.
    static constexpr int SilenceTicks = 5;
    static constexpr int ScanPolls = 10;
    static constexpr int ScanPollMs = 500;
    // Received text is put into the window at most this often, so that a
    // fast line does not repaint the text for every few bytes that arrive.
    static constexpr int ShowEveryMs = 40;

signals:
    // A run ended: the line was silent long enough.
    void runEnded();

private:
    // Reads what is waiting and hands it on; restarts the silence watch.
    void step();
    void readForState();
    void toRxEdit(QByteArray bytes);
    void toEngine(const QByteArray &bytes);
    // Puts held text into its window: all of it, or up to the last
    // character above code 13 (a piece ending in a line end or another
    // control character waits for what follows, so that a CR LF pair is
    // never split).
    void showPending(bool all);
    void silenceTick();
    void scanPoll();
    void endRun();
    QChar stripChar() const;

    frmHalvec &w;
    bool m_inStep = false;
    QString m_pending;
    QPointer<rxedit> m_pendingFor;
    QTimer m_show;
    QTimer m_scanPoll;
    int m_scanPolls = 0;
};
