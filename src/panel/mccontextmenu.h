#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

class frmHalvec;

// The machine context menu and what it leads to: open, receive, clear,
// rename, delete, properties and Port Scan.
class McContextMenu : public QObject
{
    Q_OBJECT
public:
    explicit McContextMenu(frmHalvec &w);

    void DoMcContextMenu(const QPoint &globalPos);
    void ShowMCRename();
    void ChangeMCName();
    void DeleteMC();

    // Hides the rename field and drops what was typed.
    void cancelRename();
    // The machine whose name is being edited; 0 when none.
    int renaming() const { return m_renameMc; }

    // The menu's entries, "-" for a separator.
    static QStringList entries();

    static constexpr const char *clearQuestion =
        "This will clear all transmit buffers and Q's for this machine/icon";
    static constexpr const char *deleteQuestion =
        "Are you sure you wish to delete the selected Machine?";
    static constexpr const char *emptyNameMessage = "The name can not be empty";
    static constexpr const char *selectFirstMessage =
        "You need to select a Machine icon before using the Menu";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openProgram(int mc);
    void clearMachine(int mc);
    bool txtRename_KeyDown(int key, const QString &text, Qt::KeyboardModifiers modifiers);
    void txtRename_LostFocus();
    // Moves the code windows, queues and file names of the slots after mc
    // down by one, with their machines, and empties the slot that falls free.
    void closeSlotGap(int mc);

    frmHalvec &w;
    int m_renameMc = 0;
};
