#pragma once

#include "core/link/link.h"
#include "core/config/machinetable.h"

#include <QObject>
#include <QStringList>
#include <array>

class Canvas;
class Platform;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;
class RenameField;
class Workshop;

// The machine panel: an icon and a name per machine, the add-machine
// button, the frame that marks the selected machine, and under the logo
// the selected machine's name and description. It shows what the workshop
// reports and hands clicks, drops and renames to it.
class MachinePanel : public QObject
{
    Q_OBJECT
public:
    // `area` holds the icons, `logo` the name and description; the port
    // warning belongs to `window`.
    MachinePanel(Workshop &workshop, Platform &platform, QWidget *area, QWidget *logo,
                 QWidget *window);

    // Places the slots; the warning waits at `warningPlace` of the window.
    void layout(const QPoint &warningPlace);
    // Opens the rename field over the selected machine's name.
    void startRename();

    static QString missingText(const QString &port);
    static QString unavailableText(const QString &port);

signals:
    // A contextual click on an icon (after it selected the machine).
    void contextMenuRequested(const QPoint &globalPos);
    void filesDropped(int mc, const QStringList &paths);

private:
    void addMachine();
    void iconPressed(int mc, bool contextual, const QPoint &globalPos);
    void showMachines();
    void showSelected(int mc);
    void showName(int mc);
    // What served machine `mc` does, for under its name; empty if not served.
    QString servedText(int mc) const;
    void markPort(int mc, PortStatus status, const QString &port);
    void setFrameSelected(int mc, bool selected);
    void setDescription(const QString &text, Qt::GlobalColor colour);

    Workshop &m_workshop;
    Platform &m_platform;
    QWidget *m_window;
    RenameField *m_rename;
    // frmMc(i), imgMc(i) and lblmc(i) by slot; lblmc(0) is "Add Machine".
    std::array<QFrame *, MachineTable::MaxMachines + 1> m_frames{};
    std::array<Canvas *, MachineTable::MaxMachines + 1> m_icons{};
    std::array<QLabel *, MachineTable::MaxMachines + 1> m_names{};
    QPushButton *m_add = nullptr;
    QPushButton *m_warning = nullptr;
    QLabel *m_selectedName = nullptr;
    QLabel *m_description = nullptr;
};
