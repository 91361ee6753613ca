#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>

class frmHalvec;
class frmSetup;
class Module1;

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

    // The setup dialog the user has open, if any.
    frmSetup *setupDialog() const;

    // True while a program is being sent: the selection, the machine table
    // and the sending machine's slot must then stay as they are.
    bool sending() const;

    // The five description lines of machine mc, joined with "\n".
    static QString description(const Module1 &m, int mc);
    // How the panel names a flow-control code.
    static QString flowName(const QString &code);

    static constexpr const char *maxMessage =
        "The maximum number of machine icons has been reached in this version.";
    static constexpr const char *selectFirstMessage =
        "You need to select a Machine icon before going to Setup";

private:
    // White border: not selected (it vanishes against the white panel);
    // grey: the selected machine.
    void setFrameSelected(int i, bool selected);
    // Machine i's code window, queue and file-name field.
    void setWorkControlsVisible(int i, bool on);

    frmHalvec &w;
    QPointer<frmSetup> m_setup;
};
