#pragma once

#include "core/config/machinetable.h"

#include <QObject>
#include <QStringList>
#include <array>

class CodeWindows;
class Platform;
class QListView;
class QWidget;
class Workshop;

// Each machine's queue list txQueue(i): the program files handed to the
// machine. Clicking an entry loads the file into the machine's code window.
// The hidden lists List1(i) show the same queues' full paths.
class QueueView : public QObject
{
    Q_OBJECT
public:
    QueueView(Workshop &workshop, Platform &platform, CodeWindows &code, QWidget *area,
              QWidget *window);

    void layout(const QRect &lists, int windowHeight);
    // Files dropped on machine mc's icon: queued in order, and the first
    // entry loaded when the code window is empty.
    void addFiles(int mc, const QStringList &paths);
    // Loads queue entry `row` of machine mc into its code window; a file
    // that can no longer be read is reported and the window left as it was.
    void load(int mc, int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showSlot(int slot);

    Workshop &m_workshop;
    Platform &m_platform;
    CodeWindows &m_code;
    QWidget *m_window;
    std::array<QListView *, MachineTable::MaxMachines + 1> m_lists{};
    // The window's hidden path lists List1(0..14): more than there are
    // slots; those past the last slot show nothing.
    static constexpr int PathLists = 15;
    std::array<QListView *, PathLists> m_paths{};
};
