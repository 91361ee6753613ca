#pragma once

#include <QWidget>

class frmHalvec;
class QPlainTextEdit;

// The editor for data received from a machine.
class rxedit : public QWidget
{
    Q_OBJECT
public:
    explicit rxedit(frmHalvec &w);

    QPlainTextEdit *txtFile = nullptr;

private:
    frmHalvec &w;
};
