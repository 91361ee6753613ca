#include "transmit/txqueue.h"

#include "app/frmhalvec.h"

TxQueue::TxQueue(frmHalvec &win) : QObject(&win), w(win) {}

void TxQueue::Q_AddFile(int, const QString &) {}
void TxQueue::Q_Clicked(int, int) {}
