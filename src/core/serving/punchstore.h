#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Saves what a served machine punches, one file per punch, in the machine's
// folder.
//
// A punch is named as its control family names it (Controls::programName):
// by its program number, "O" and its digits as punched (leading zeros
// kept), O3003.nc; by its name, FLANGE-A.nc, SHAFT123_MPF.nc, 100.nc,
// BORE1.nc; a punch without one is named by the time it is saved,
// punch-yyyyMMdd-HHmmss.nc. The extension is the machine's, read as
// ProgramExtension reads it.
//
// Nothing is ever overwritten: when the name is taken, the file there is
// first renamed to the next free earlier version (O3003.1.nc, O3003.2.nc,
// O3003.1.tap.nc; the highest number is the most recent of them) and the new
// punch takes the plain name, so the plain name always holds the latest
// punch.
//
// A punch that cannot be saved waits in memory, up to MaxPending of them and
// MaxPendingBytes in all, and every later save or retry() tries again,
// oldest first (and none before an earlier one of its folder, so versions
// keep their order). A new punch that does not fit in the waiting list is
// tried once and, if that fails, the result says it is not kept, and why.
class PunchStore
{
public:
    static constexpr int MaxPending = 16;
    static constexpr qint64 MaxPendingBytes = 64 * 1024 * 1024;
    using Now = std::function<QDateTime()>;

    // `now` tells the time for names of punches without a number.
    explicit PunchStore(Now now = {});

    struct Result {
        QString path;  // where the punch is (or is to be) saved
        QString error; // empty when it was saved, otherwise why it was not
        QStringList earlier; // punches that waited, saved on the way
    };
    // A punch that was cut off (`whole` false) is named as incomplete,
    // O3003.partial.nc, so that it never takes the program's own name and
    // a request never finds it.
    [[nodiscard]] Result save(const QString &folder, const QString &extension, const QByteArray &program,
                bool whole = true);
    // Saves the waiting punches; the paths saved go to `saved`. Returns an
    // empty text when none waits any more, otherwise why the oldest failed.
    QString retry(QStringList *saved = nullptr);
    qsizetype pending() const { return m_pending.size(); }
    // Saves the waiting punches in `folder` instead of their own (same
    // names, earlier versions kept there too), for when the program ends
    // and they would be lost; as retry() otherwise.
    QString saveWaitingIn(const QString &folder, QStringList *saved = nullptr);

    static QString fileName(const QByteArray &program, const QString &extension,
                            const QDateTime &when, bool whole = true);
    // Sent to the folders punches are saved in from now on (a machine's
    // folder changed): the waiting ones are tried there.
    void moveWaitingTo(const QString &folder);
    // True for a name of the kind an earlier version is kept under: a
    // number between its first two dots (O3003.1.nc), whatever extension.
    static bool isEarlierVersion(const QString &fileName);
    // True for the name of a punch that was cut off (O3003.partial.nc).
    static bool isIncomplete(const QString &fileName);

private:
    struct Punch {
        quint64 id;
        QString path;
        QString extension; // how `path` ends, its dot included
        QByteArray program;
        QString why;
    };
    QStringList pass();
    // Why `punch` cannot wait with those waiting; empty when it can.
    QString noRoomFor(const Punch &punch) const;
    static QString write(const Punch &punch);

    Now m_now;
    QList<Punch> m_pending;
    quint64 m_sequence = 0;
};
