#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM as a Qt signal: the handler only writes the signal's
// number into a pipe, and the event loop reads it, so whatever the program
// does to stop runs as ordinary code, never inside the handler. One object
// at a time; the default handling comes back when it is destroyed.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    // SIGHUP from now on asks for a reload instead of ending the program.
    void listenForReload();

signals:
    // SIGINT (2) or SIGTERM (15) arrived; again for every one after.
    void stopRequested(int signal);
    // SIGHUP arrived, once listenForReload() was called: reread the
    // configuration.
    void reloadRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
