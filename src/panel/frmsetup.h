#pragma once

#include <QDialog>

class frmHalvec;

// The setup dialog for one machine's configuration.
class frmSetup : public QDialog
{
    Q_OBJECT
public:
    explicit frmSetup(frmHalvec &w);

    int MCNo = 0;
    void SaveSettings();
    void SetCurrentMCvalues();

private:
    frmHalvec &w;
};
