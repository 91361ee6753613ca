#pragma once

#include <QObject>
#include <QString>

class frmHalvec;

// Each machine's queue of program files: the display names in txQueue(i),
// the full paths in the hidden List1(i).
class TxQueue : public QObject
{
    Q_OBJECT
public:
    explicit TxQueue(frmHalvec &w);

    void Q_AddFile(int mc, const QString &path);
    // Loads queue entry `row` of machine mc into its code window; a file that
    // can no longer be read is reported and the code window left as it was.
    void Q_Clicked(int mc, int row);

private:
    frmHalvec &w;
};
