#pragma once

#include <QObject>

class frmHalvec;

// Routes every byte received on s1 by the link's state: to the send engine's
// XON/XOFF watch, to the RX-Edit window, to Port Scan, or away.
class ReceiveHandler : public QObject
{
    Q_OBJECT
public:
    explicit ReceiveHandler(frmHalvec &w);

    void s1_DataAvailable();
    void mnuReceive_Action();
    void tmrRX_Timeout_Action();
    void PlaceSelStartAtEndOfBuffer();

private:
    frmHalvec &w;
};
