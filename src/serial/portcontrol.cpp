#include "serial/portcontrol.h"

#include "app/frmhalvec.h"

PortControl::PortControl(frmHalvec &win) : QObject(&win), w(win) {}

void PortControl::OpenPort() {}
void PortControl::Set_port_properties(Serial &) {}
void PortControl::S_Set_Port(Serial &) {}
void PortControl::S_Purge_Port(Serial &, std::function<void()> done)
{
    if (done)
        done();
}
bool PortControl::S_Open_Port(Serial &) { return false; }
void PortControl::ChangeComPars(int) {}
bool PortControl::openSelectedPort() { return false; }
QString PortControl::missingText(const QString &) { return {}; }
QString PortControl::unavailableText(const QString &) { return {}; }
