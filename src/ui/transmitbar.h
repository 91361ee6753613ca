#pragma once

#include "core/config/machinetable.h"
#include "core/sending/sendtransfer.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <optional>

class CodeWindows;
class Platform;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;
class Timer;
class Workshop;

// The transmit bar: Send, and in its place Pause and Stop while a send
// runs; the progress bar and percentage; and each machine's file-name field
// txFileName(i), which shows the program loaded last and, while the run-out
// leaves the port or a stopped send waits for the machine, what it waits for.
class TransmitBar : public QObject
{
    Q_OBJECT
public:
    TransmitBar(Workshop &workshop, Platform &platform, CodeWindows &code, QWidget *bar);

    void layout(int width);

    static QString noProgramText();
    static QString portText();
    static QString waitingText();
    static QString heldText();

private:
    void send();
    // True unless the program holds characters the machine's control
    // refuses, from line `from` on, and the user, asked, keeps it back.
    bool charactersAgreed(int from);
    void follow(int slot, SendTransfer *job);
    // What the file-name field shows when no note stands in it.
    QString shownName(int slot);
    // Shows a send's progress, or holds it back a while (kShowEveryNs).
    void progressChanged(const SendProgress &progress);
    void showProgress(const SendProgress &progress);
    void sendEnded(SendOutcome outcome);
    void setStatus(const QString &text);
    void showSlot(int slot);
    void setProgressShown(bool shown);

    Workshop &m_workshop;
    Platform &m_platform;
    CodeWindows &m_code;
    QWidget *m_bar;
    QPushButton *m_send;
    QPushButton *m_stop;
    QPushButton *m_pause;
    QProgressBar *m_progress;
    QLineEdit *m_percent;
    std::array<QLineEdit *, MachineTable::MaxMachines + 1> m_fileNames{};
    // Each file-name field's ties to the queue and program it names.
    std::array<std::array<QMetaObject::Connection, 2>, MachineTable::MaxMachines + 1> m_bound{};
    QPointer<SendTransfer> m_job;
    SendProgress m_shown;                   // the progress on show
    std::optional<SendProgress> m_barShown; // what the bar and its text show of it
    Timer *m_hold;                          // while active, news of the same kind waits
    int m_sendSlot = 0;
    QString m_note; // what the sending machine's file-name field says instead of the name
};
