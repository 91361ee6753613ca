#include "transmit/transmitcontrol.h"

#include "app/frmhalvec.h"

TransmitControl::TransmitControl(frmHalvec &win) : QObject(&win), w(win) {}

void TransmitControl::cmdTX_Action() {}
void TransmitControl::cmdStop_Action() {}
void TransmitControl::chkTXPause_Action() {}
