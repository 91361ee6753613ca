#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

class CodeWindows;
class Platform;
class QWidget;
class Workshop;

// The machine menu: Open, Receive, Clear, Rename, Delete, Properties and
// Port Scan for the selected machine. Open, Clear and Delete are carried out
// here; the others are handed on.
class MachineMenu : public QObject
{
    Q_OBJECT
public:
    MachineMenu(Workshop &workshop, Platform &platform, CodeWindows &code, QWidget *window);

    // The menu's entries, "-" for a separator.
    static QStringList entries();
    void popup(const QPoint &globalPos);

signals:
    void receiveChosen();
    void renameChosen();
    void propertiesChosen();
    void portScanChosen();

private:
    void open(int mc);
    void clear(int mc);
    void remove(int mc);

    Workshop &m_workshop;
    Platform &m_platform;
    CodeWindows &m_code;
    QWidget *m_window;
};
