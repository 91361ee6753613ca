#pragma once

#include <QObject>

class frmHalvec;

// Port Scan: works out a machine's speed and data format from what it sends.
// The receive handler hands it every byte while the scan runs; the scoring
// itself is ScanScore.
class PortScan : public QObject
{
    Q_OBJECT
public:
    explicit PortScan(frmHalvec &w);

    // The context menu's "Port Scan".
    void start();
    // Reads, shows and scores every byte waiting on the port.
    void Auto_RX_Data();
    // "Save Settings" in the RX-Edit window.
    void PushButton1_Action();

    // MCDRATE text for a baud code; empty for a code not offered.
    static QString rateText(int baudCode);

private:
    frmHalvec &w;
};
