#pragma once

#include <QObject>

class frmHalvec;

// Port Scan: works out a machine's speed and data format from what it sends.
class PortScan : public QObject
{
    Q_OBJECT
public:
    explicit PortScan(frmHalvec &w);

    // The context menu's "Port Scan".
    void start();
    void Auto_RX_Data();
    // "Save Settings" in the RX-Edit window.
    void PushButton1_Action();

private:
    frmHalvec &w;
};
