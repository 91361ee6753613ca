#pragma once

#include <QWidget>

class frmHalvec;
class QGroupBox;
class QPlainTextEdit;

// The editor for data received from a machine.
class rxedit : public QWidget
{
    Q_OBJECT
public:
    explicit rxedit(frmHalvec &w);

    QPlainTextEdit *txtFile = nullptr;
    QGroupBox *AutoGroup = nullptr; // Port Scan's panel; its title shows the settings tried

private:
    frmHalvec &w;
};
