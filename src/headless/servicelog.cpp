#include "headless/servicelog.h"

#include "core/serving/servedmachine.h"
#include "core/ports/serialport.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"

#include <QFileInfo>

ServiceLog::ServiceLog(Workshop &workshop, TransferRecorder &recorder, Writer write,
                       QObject *parent)
    : QObject(parent), m_workshop(workshop), m_write(std::move(write))
{
    connect(&recorder, &TransferRecorder::recorded, this,
            [this](const TransferRecord &record) { m_write(describe(record)); });
    for (int i = 1; i <= workshop.machines().count(); ++i)
        if (workshop.servedAt(i)) watchServed(i);
    connect(&workshop, &Workshop::servedCreated, this, [this](ServedMachine *served) {
        for (int i = 1; i <= m_workshop.machines().count(); ++i)
            if (m_workshop.servedAt(i) == served) watchServed(i);
    });
    connect(&workshop, &Workshop::servedChanged, this, &ServiceLog::portChanged);
}

void ServiceLog::watchServed(int slot)
{
    ServedMachine *served = m_workshop.servedAt(slot);
    const QString name = m_workshop.machines().at(slot).name();
    connect(served, &ServedMachine::requestServed, this,
            [this, name](const QString &asked, const QString &path) {
                m_write(QStringLiteral("%1: %2 asked for, sending %3").arg(name, asked, path));
            });
    // A punch first not saved is told again once a later try saves it.
    connect(served, &ServedMachine::punchSaved, this, [this, served, name](const QString &path) {
        int &waiting = m_unsaved[served];
        if (waiting == 0) return; // its first try: the transfer's line told it
        --waiting;
        m_write(QStringLiteral("%1: punch saved as %2 at a later try").arg(name, path));
    });
    connect(served, &ServedMachine::saveFailed, this, [this, served] {
        m_unsaved[served] = served->unsaved();
    });
    connect(served, &ServedMachine::requestRefused, this,
            [this, name](const QString &asked, const QString &why) {
                m_write(QStringLiteral("%1: %2 asked for, refused: %3").arg(name, asked, why));
            });
}

void ServiceLog::portChanged(int slot)
{
    Link *link = m_workshop.servedAt(slot) ? m_workshop.linkAt(slot) : nullptr;
    if (!link) return;
    const MachineConfig &machine = m_workshop.machines().at(slot);
    Port &was = m_ports[m_workshop.idAt(slot).value];
    const bool open = link->port().isOpen();
    const QString head = QStringLiteral("%1: port %2 ").arg(machine.name(), machine.port());
    QString reason = link->port().errorString();
    if (reason.isEmpty()) reason = QStringLiteral("not found");
    if (open && was != Port::Open) {
        m_write(head + (was == Port::Unknown ? QStringLiteral("open, listening")
                                             : QStringLiteral("back, listening")));
        was = Port::Open;
    } else if (!open && was == Port::Open) {
        m_write(head + QStringLiteral("lost: %1; trying again every %2 s")
                           .arg(reason)
                           .arg(Workshop::RetryPortMs / 1000));
        was = Port::Lost;
    } else if (!open && was == Port::Unknown) {
        m_write(head + QStringLiteral("cannot be opened: %1; trying again every %2 s")
                           .arg(reason)
                           .arg(Workshop::RetryPortMs / 1000));
        was = Port::Closed;
    }
}

QString ServiceLog::describe(const TransferRecord &r)
{
    const qint64 s = r.durationMs / 1000;
    const QString took = QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    const QString amount = QStringLiteral("%1 lines, %2 bytes in %3").arg(r.lines).arg(r.bytes).arg(took);
    if (r.send)
        return QStringLiteral("%1: sent %2, %3, %4").arg(r.machine, r.file, amount, r.outcome);
    if (r.outcome.startsWith(QLatin1String("not saved")))
        return QStringLiteral("%1: punch of %2 lines, %3 bytes %4; kept, and tried again")
            .arg(r.machine)
            .arg(r.lines)
            .arg(r.bytes)
            .arg(r.outcome);
    return QStringLiteral("%1: received %2, %3, %4").arg(r.machine, r.file, amount, r.outcome);
}
