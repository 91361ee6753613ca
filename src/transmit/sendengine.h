#pragma once

#include <QObject>

class frmHalvec;

// Sends the selected machine's code window to the machine, line by line, as
// a state machine driven by the port's signals and by timers.
class SendEngine : public QObject
{
    Q_OBJECT
public:
    explicit SendEngine(frmHalvec &w);

    // Starts a send; returns at once. finished() follows when it has ended.
    void SendFile();
    int GetDataSize();
    bool isRunning() const { return m_running; }

signals:
    void finished();

private:
    frmHalvec &w;
    bool m_running = false;
};
