#include "headless/servicelog.h"

#include "core/serving/servedmachine.h"
#include "core/ports/serialport.h"
#include "core/log/transferrecorder.h"
#include "core/link/link.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/programs/charactercheck.h"

#include <QFileInfo>

ServiceLog::ServiceLog(MachineRegistry &registry, TransferRecorder &recorder, Writer write,
                       QObject *parent)
    : QObject(parent), m_registry(registry), m_write(std::move(write))
{
    connect(&recorder, &TransferRecorder::recorded, this,
            [this](const TransferRecord &record) { m_write(describe(record)); });
    for (int i = 1; i <= registry.count(); ++i)
        watch(registry.at(i));
    connect(&registry, &MachineRegistry::machineCreated, this, &ServiceLog::watch);
    connect(&registry, &MachineRegistry::stateChanged, this, &ServiceLog::portChanged);
    connect(&registry, &MachineRegistry::notice, this, [this](const QString &line) { m_write(line); });
}

void ServiceLog::watch(Machine *machine)
{
    connect(machine, &Machine::punchSavedLater, this, [this, machine](MachineId, const QString &path) {
        m_write(QStringLiteral("%1: punch saved as %2 at a later try")
                    .arg(machine->config().name(), path));
    });
    auto hear = [this, machine](ServedMachine *served) {
        connect(served, &ServedMachine::requestServed, this,
                [this, machine](const QString &asked, const QString &path) {
                    m_write(QStringLiteral("%1: %2 asked for, sending %3")
                                .arg(machine->config().name(), asked, path));
                });
        connect(served, &ServedMachine::requestRefused, this,
                [this, machine](const QString &asked, const QString &why) {
                    m_write(QStringLiteral("%1: %2 asked for, refused: %3")
                                .arg(machine->config().name(), asked, why));
                });
        connect(served, &ServedMachine::requestAnswered, this,
                [this, machine](const QString &asked, const QString &what) {
                    m_write(QStringLiteral("%1: %2 asked for, %3")
                                .arg(machine->config().name(), asked, what));
                });
    };
    // A program the control asked for goes out as it is, even with characters
    // the control refuses: nobody is at the PC to be asked. The journal says
    // so as its first line goes.
    connect(&machine->link(), &Link::sendStarted, this, [this, machine](SendTransfer *job) {
        const MachineConfig &m = machine->config();
        const ProgramSource &source = machine->link().sendTransfer().source;
        const auto found =
            CharacterCheck::check(job->program(), 0, m.characterRule(), m.tapeCode());
        if (found.isEmpty()) return;
        const QString name =
            source.kind == ProgramSource::Kind::File ? source.logName() : QString();
        const QString line = QStringLiteral("%1: %2; sent as asked")
                                 .arg(m.name(), CharacterCheck::describe(name, found));
        connect(job, &SendTransfer::lineStarted, this, [this, line] { m_write(line); },
                Qt::SingleShotConnection);
    });
    // A machine served already when the journal starts is heard too.
    if (ServedMachine *served = machine->served()) hear(served);
    connect(machine, &Machine::servedCreated, this, hear);
}

void ServiceLog::portChanged(MachineId id)
{
    const Machine *machine = m_registry.find(id);
    if (!machine || !machine->state().served) return;
    const MachineState &state = machine->state();
    Port &was = m_ports[id.value];
    const QString head = QStringLiteral("%1: port %2 ").arg(state.name, state.port);
    QString reason = machine->link().port().errorString();
    if (reason.isEmpty()) reason = QStringLiteral("not found");
    if (state.open && was != Port::Open) {
        m_write(head + (was == Port::Unknown ? QStringLiteral("open, listening")
                                             : QStringLiteral("back, listening")));
        was = Port::Open;
    } else if (!state.open && was == Port::Open) {
        m_write(head + QStringLiteral("lost: %1; trying again every %2 s")
                           .arg(reason)
                           .arg(Machine::RetryPortMs / 1000));
        was = Port::Lost;
    } else if (!state.open && was == Port::Unknown) {
        m_write(head + QStringLiteral("cannot be opened: %1; trying again every %2 s")
                           .arg(reason)
                           .arg(Machine::RetryPortMs / 1000));
        was = Port::Closed;
    }
}

QString ServiceLog::describe(const TransferRecord &r)
{
    const qint64 s = r.durationMs / 1000;
    const QString took = QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    const QString amount = QStringLiteral("%1 lines, %2 bytes in %3").arg(r.lines).arg(r.bytes).arg(took);
    // A reply to a request it could not serve names the request.
    if (r.send && r.file == u"-" && !r.requested.isEmpty())
        return QStringLiteral("%1: reply to %2 sent, %3, %4").arg(r.machine, r.requested, amount, r.outcome);
    if (r.send)
        return QStringLiteral("%1: sent %2, %3, %4").arg(r.machine, r.file, amount, r.outcome);
    if (r.outcome.startsWith(QLatin1String("not a program")))
        return QStringLiteral("%1: %2, dropped").arg(r.machine, r.outcome);
    // A punch not saved, or compared instead of saved.
    const bool unsaved = r.outcome.contains(QLatin1String("not saved"));
    if (unsaved || r.file == u"-") {
        // Only what waits is tried again; a punch the store could not keep is gone.
        const bool kept = unsaved && !r.outcome.contains(QLatin1String("not kept"));
        return QStringLiteral("%1: punch of %2 lines, %3 bytes in %4, %5%6")
            .arg(r.machine)
            .arg(r.lines)
            .arg(r.bytes)
            .arg(took, r.outcome,
                 kept ? QStringLiteral("; kept, and tried again every %1 s")
                            .arg(Machine::RetrySaveMs / 1000)
                      : QString());
    }
    return QStringLiteral("%1: received %2, %3, %4").arg(r.machine, r.file, amount, r.outcome);
}
