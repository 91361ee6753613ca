#include "panel/frmsetup.h"

#include "app/frmhalvec.h"

frmSetup::frmSetup(frmHalvec &win) : QDialog(&win), w(win)
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral(" Port Setup"));
}

void frmSetup::SaveSettings() {}
void frmSetup::SetCurrentMCvalues() {}
