#pragma once

#include <QObject>
#include <QString>
#include <functional>

class frmHalvec;
class Serial;

// Connects the one port s1 to the selected machine: turns the machine's
// stored line settings into the port's codes, opens it, and marks the machine
// when its port is missing or cannot be opened. Also applies the settings
// Port Scan tries.
class PortControl : public QObject
{
    Q_OBJECT
public:
    explicit PortControl(frmHalvec &w);

    void OpenPort();
    void Set_port_properties(Serial &port);
    void S_Set_Port(Serial &port);
    // Discards everything pending and restores the settings; the 300 ms pause
    // runs on a timer and `done` is called after it.
    void S_Purge_Port(Serial &port, std::function<void()> done = {});
    bool S_Open_Port(Serial &port);
    void ChangeComPars(int code);

    // Opens the selected machine's own port with its settings, for a send.
    // False (and nothing opened) when no machine is selected or its port is
    // missing or unavailable.
    bool openSelectedPort();

    static QString missingText(const QString &port);
    static QString unavailableText(const QString &port);

    // Sets s_speed, s_stopbits, s_databits, s_parity, s_rtscts and s_xonxoff
    // from machine mc's stored values.
    void loadMachineSettings(int mc);

signals:
    // The selected machine was marked: its port is missing or unavailable;
    // `text` is what the description shows.
    void portMarked(const QString &text);

private:
    // The selected machine's port when the platform lists it, else empty.
    QString listedPortOfSelected() const;
    void mark(const QString &text);

    frmHalvec &w;
};
