#include "transmit/codewindows.h"

#include "app/bytetext.h"
#include "app/frmhalvec.h"

#include <QPlainTextEdit>

CodeWindows::CodeWindows(frmHalvec &win) : QObject(&win), w(win) {}

void CodeWindows::setProgram(int mc, const QByteArray &bytes)
{
    if (mc >= 0 && mc <= 9)
        w.txBuffer[mc]->setPlainText(bytesToText(bytes));
}
void CodeWindows::txBuffer_SelChange() {}
void CodeWindows::PlaceSelStartAtMyPointer() {}
