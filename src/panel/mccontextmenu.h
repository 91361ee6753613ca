#pragma once

#include <QObject>
#include <QPoint>

class frmHalvec;

// The machine context menu and what it leads to: open, receive, clear,
// rename, delete, properties and Port Scan.
class McContextMenu : public QObject
{
    Q_OBJECT
public:
    explicit McContextMenu(frmHalvec &w);

    void DoMcContextMenu(const QPoint &globalPos);
    void ShowMCRename();
    void ChangeMCName();
    void DeleteMC();

private:
    frmHalvec &w;
};
