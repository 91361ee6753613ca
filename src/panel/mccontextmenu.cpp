#include "panel/mccontextmenu.h"

#include "app/frmhalvec.h"

McContextMenu::McContextMenu(frmHalvec &win) : QObject(&win), w(win) {}

void McContextMenu::DoMcContextMenu(const QPoint &) {}
void McContextMenu::ShowMCRename() {}
void McContextMenu::ChangeMCName() {}
void McContextMenu::DeleteMC() {}
