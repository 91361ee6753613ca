#pragma once

#include <QByteArray>
#include <QObject>

class frmHalvec;

// The code windows txBuffer(i) and the shared line pointer beside them.
class CodeWindows : public QObject
{
    Q_OBJECT
public:
    explicit CodeWindows(frmHalvec &w);

    // Puts a program (raw bytes; CR, LF and CR LF all end a line) into
    // machine mc's code window, replacing its text.
    void setProgram(int mc, const QByteArray &bytes);
    void txBuffer_SelChange();
    void PlaceSelStartAtMyPointer();

private:
    frmHalvec &w;
};
