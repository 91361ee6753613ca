#include "receive/receivehandler.h"

#include "app/frmhalvec.h"

ReceiveHandler::ReceiveHandler(frmHalvec &win) : QObject(&win), w(win) {}

void ReceiveHandler::s1_DataAvailable() {}
void ReceiveHandler::mnuReceive_Action() {}
void ReceiveHandler::tmrRX_Timeout_Action() {}
void ReceiveHandler::PlaceSelStartAtEndOfBuffer() {}
