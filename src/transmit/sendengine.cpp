#include "transmit/sendengine.h"

#include "app/frmhalvec.h"

SendEngine::SendEngine(frmHalvec &win) : QObject(&win), w(win) {}

void SendEngine::SendFile()
{
    emit finished();
}
int SendEngine::GetDataSize() { return 0; }
