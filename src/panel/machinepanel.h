#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

class frmHalvec;
class frmSetup;

// The machine panel: one icon per configured machine, selection, the
// description of the selected machine and adding machines.
class MachinePanel : public QObject
{
    Q_OBJECT
public:
    explicit MachinePanel(frmHalvec &w);

    void RefreshMCView();
    void ShowSelectedMC();
    void mcClick(int index);
    bool AddNewMC();
    void BevelButton1_Action();
    // Places the port warning over the selected machine and shows `text` in
    // red in the description.
    void markBadPort(const QString &text);
    void imgMc_MouseDown(int index, bool contextual, const QPoint &globalPos);
    void imgMc_DropObject(int index, const QStringList &paths);
    // The one setup dialog, for the selected machine (or a new one while
    // adding); modal for the context menu's Properties.
    frmSetup *showSetup(bool modal);

private:
    frmHalvec &w;
};
