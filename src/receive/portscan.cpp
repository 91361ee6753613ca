#include "receive/portscan.h"

#include "app/frmhalvec.h"

PortScan::PortScan(frmHalvec &win) : QObject(&win), w(win) {}

void PortScan::start() {}
void PortScan::Auto_RX_Data() {}
void PortScan::PushButton1_Action() {}
