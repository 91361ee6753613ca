#pragma once

#include <QObject>
#include "ui/setupdialog.h"

#include <QPointer>

class Platform;
class QWidget;
class Workshop;

// Opens the setup dialog for the selected machine (one at a time) and
// stores what it saves. An open dialog follows its machine when a machine
// before it is deleted, and closes when its own is.
class SetupLauncher : public QObject
{
    Q_OBJECT
public:
    SetupLauncher(Workshop &workshop, Platform &platform, QWidget *window);

    // Shows the dialog; modal for the machine menu's Properties.
    SetupDialog *show(bool modal);
    SetupDialog *dialog() const { return m_dialog; }
    // The machine the open dialog edits.
    int machine() const { return m_machine; }

private:
    void save(SetupDialog *dialog, const MachineConfig &machine);

    Workshop &m_workshop;
    Platform &m_platform;
    QWidget *m_window;
    QPointer<SetupDialog> m_dialog;
    int m_machine = 0;
};
