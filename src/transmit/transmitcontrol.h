#pragma once

#include <QObject>
#include <QString>

class frmHalvec;

// The Send, Stop and Pause buttons around a send.
class TransmitControl : public QObject
{
    Q_OBJECT
public:
    explicit TransmitControl(frmHalvec &w);

    void cmdTX_Action();
    void cmdStop_Action();
    void chkTXPause_Action();

    static QString noProgramText();
    static QString portText();

private:
    void sendFinished();

    frmHalvec &w;
    bool m_sending = false;
};
