#include "transmit/transmitcontrol.h"

#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "serial/portcontrol.h"
#include "transmit/codewindows.h"
#include "transmit/sendengine.h"

#include <QPushButton>

TransmitControl::TransmitControl(frmHalvec &win) : QObject(&win), w(win)
{
    connect(w.cmdTX, &QPushButton::clicked, this, &TransmitControl::cmdTX_Action);
    connect(w.cmdStop, &QPushButton::clicked, this, &TransmitControl::cmdStop_Action);
    connect(w.chkTXPause, &QPushButton::toggled, this, &TransmitControl::chkTXPause_Action);
    connect(w.engine, &SendEngine::finished, this, &TransmitControl::sendFinished);
}

QString TransmitControl::noProgramText()
{
    return QStringLiteral("You need to select a machine and Open a program into Tavrin's code "
                          "window before you can send it to the CNC\n"
                          "To Open a CNC program, click the machine icon and select 'Open' from "
                          "the menu and select your program. Then come back and click the Send "
                          "button to send it to the selected CNC");
}

QString TransmitControl::portText()
{
    return QStringLiteral("The selected PC Com port is not open/available");
}

void TransmitControl::cmdTX_Action()
{
    if (m_sending || w.engine->isRunning()) return;
    w.codeWindows->PlaceSelStartAtMyPointer();
    if (w.engine->GetDataSize() < 1) {
        w.platform.message(&w, noProgramText());
        return;
    }
    if (w.m.SelectedMC < 1) return;
    w.m.StopTX = false;
    // Only the selected machine's own port: when it is missing, the port
    // object may still name another machine's device, and the program must
    // never go there.
    if (!w.portControl->openSelectedPort()) {
        w.platform.message(&w, portText());
        return;
    }
    w.cmdStop->setVisible(true);
    w.chkTXPause->setChecked(false);
    w.chkTXPause->setEnabled(true);
    w.chkTXPause->setVisible(true);
    w.m.PortState = 1;
    m_sending = true;
    w.engine->SendFile();
}

void TransmitControl::sendFinished()
{
    if (!m_sending) return;
    m_sending = false;
    w.m.PortState = 0;
    w.cmdStop->setVisible(false);
    w.chkTXPause->setVisible(false);
}

void TransmitControl::cmdStop_Action()
{
    w.m.StopTX = true;
    w.engine->wake();
}

void TransmitControl::chkTXPause_Action()
{
    // The engine holds at the next line boundary while Pause is down and goes
    // on when it comes up.
    w.engine->wake();
}
