#include "panel/machinepanel.h"

#include "app/frmhalvec.h"

MachinePanel::MachinePanel(frmHalvec &win) : QObject(&win), w(win) {}

void MachinePanel::RefreshMCView() {}
void MachinePanel::ShowSelectedMC() {}
void MachinePanel::mcClick(int) {}
bool MachinePanel::AddNewMC() { return false; }
void MachinePanel::BevelButton1_Action() {}
void MachinePanel::markBadPort(const QString &) {}
void MachinePanel::imgMc_MouseDown(int, bool, const QPoint &) {}
void MachinePanel::imgMc_DropObject(int, const QStringList &) {}
frmSetup *MachinePanel::showSetup(bool) { return nullptr; }
