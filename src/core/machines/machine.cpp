#include "core/machines/machine.h"

#include "core/base/atomicfile.h"
#include "core/base/clock.h"
#include "core/link/link.h"
#include "core/ports/serialport.h"
#include "core/serving/servedmachine.h"

#include <QDir>

Machine::Machine(MachineId id, const MachineConfig &config, std::shared_ptr<SerialPort> port,
                 PortList &ports, Clock &clock, QObject *parent)
    : QObject(parent), m_id(id), m_clock(clock), m_applied(config),
      m_link(std::make_unique<Link>(std::move(port), ports, clock)),
      m_retryPort(clock.createTimer(this)), m_retrySaves(clock.createTimer(this)),
      m_settle(clock.createTimer(this))
{
    connect(m_settle, &Timer::timeout, this, &Machine::settleNow);
    connect(m_retryPort, &Timer::timeout, this, &Machine::openServedPort);
    connect(m_retrySaves, &Timer::timeout, this, &Machine::retrySaves);
    connect(m_link.get(), &Link::stateChanged, this, &Machine::settle);
    connect(m_link.get(), &Link::sendStarted, this, [this](SendTransfer *job) {
        // A send reports each line; the state changes with its percent.
        connect(job, &SendTransfer::progressChanged, this, [this](const SendProgress &p) {
            const auto activity = p.phase == SendPhase::StartWait
                                      ? MachineState::Activity::WaitingForControl
                                      : MachineState::Activity::Sending;
            const int percent = p.maximum > 0 ? int(qint64(p.value) * 100 / p.maximum) : 0;
            if (activity != m_state.activity || percent != m_state.percent) refresh();
        });
        emit sendStarted(m_id, job);
    });
    connect(m_link.get(), &Link::portLost, this, [this] {
        // A served machine's device pulled out is tried again, nobody clicking.
        if (m_served && !m_shutDown) m_retryPort->start(RetryPortMs);
        refresh();
    });
    m_state.id = id;
}

Machine::~Machine()
{
    // The served role and the link go before the queue and program that
    // views watch; the role first: it listens to the link.
    m_served.reset();
    m_link.reset();
}

bool Machine::servedMode(const MachineConfig &config)
{
    return config.value(Key::Mode) == u"SERVER";
}

bool Machine::transferring() const
{
    return m_link->sending() || m_link->state() != LinkState::Idle ||
           (m_served && !m_served->isIdle());
}

bool Machine::change(const MachineConfig &next)
{
    if (transferring()) {
        m_pending = next;
        refresh();
        return false;
    }
    m_pending.reset();
    apply(next);
    refresh();
    return true;
}

void Machine::retire()
{
    m_retiring = true;
    settle();
}

void Machine::settle()
{
    // The moment nothing runs any more is the moment a change may come.
    if (!transferring()) {
        if (m_pending || m_retiring) m_settle->start(0);
        emit becameIdle(m_id);
    }
    refresh();
}

void Machine::settleNow()
{
    if (transferring()) return;
    if (m_pending) apply(*std::exchange(m_pending, std::nullopt));
    refresh();
    if (m_retiring) emit retired(m_id);
}

void Machine::apply(const MachineConfig &next)
{
    const MachineConfig before = std::exchange(m_applied, next);
    // Punches that wait follow the machine to its new folder.
    if (before.value(Key::Folder) != next.value(Key::Folder) && m_punches.pending() > 0) {
        m_punches.moveWaitingTo(next.value(Key::Folder));
        retrySaves();
    }
    const bool served = servedMode(next) && !m_shutDown;
    if (m_served && (!served || !(before == next))) {
        m_served.reset();
        m_retryPort->stop();
        m_link->closePort();
    }
    if (served && !m_served) fitServing();
}

void Machine::fitServing()
{
    // A save killed halfway left its temporary file, of up to a punch's
    // size, beside the program it was to be: nobody removes it otherwise.
    for (const QString &path : removeLeftoverTemporariesIn(m_applied.value(Key::Folder)))
        emit notice(QStringLiteral("%1: removed a leftover temporary file \"%2\" from an "
                                   "interrupted save")
                        .arg(m_applied.name(), QDir::toNativeSeparators(path)));
    m_served = std::make_unique<ServedMachine>(*m_link, m_applied, m_id, m_punches, m_clock);
    connect(m_served.get(), &ServedMachine::stateChanged, this, &Machine::settle);
    connect(m_served.get(), &ServedMachine::savedLater, this,
            [this](const QString &path) { emit punchSavedLater(m_id, path); });
    connect(m_served.get(), &ServedMachine::saveFailed, this, [this] {
        if (!m_retrySaves->isActive()) m_retrySaves->start(RetrySaveMs);
        refresh();
    });
    emit servedCreated(m_served.get());
    openServedPort();
}

void Machine::openServedPort()
{
    if (!m_served || m_shutDown || m_link->port().isOpen()) return refresh();
    if (m_link->openFor(m_applied) != PortStatus::Open) m_retryPort->start(RetryPortMs);
    refresh();
}

void Machine::retrySaves()
{
    QStringList saved;
    m_punches.retry(&saved);
    for (const QString &path : saved)
        emit punchSavedLater(m_id, path);
    if (m_punches.pending() > 0) m_retrySaves->start(RetrySaveMs);
    refresh();
}

int Machine::shutDown()
{
    m_shutDown = true;
    m_retryPort->stop();
    // One stop per call: the served role stops its own send; a second call
    // drops what the machine holds.
    const int dropped = m_served ? m_served->shutDown() : 0;
    if (SendTransfer *job = m_link->job(); job && !m_served) job->stop();
    refresh();
    return dropped;
}

QStringList Machine::keepUnsavedIn(const QString &folder)
{
    QStringList told;
    if (m_punches.pending() == 0) return told;
    // One more try where they belong first: the folder may be back.
    retrySaves();
    if (m_punches.pending() == 0) return told;
    // Never into a folder someone else made or pointed elsewhere: run as
    // root, the program would write wherever another user's link leads.
    QString why = makeOwnFolder(folder);
    QStringList saved;
    if (why.isEmpty()) why = m_punches.saveWaitingIn(folder, &saved);
    for (const QString &path : saved)
        told << QStringLiteral("%1: punch saved as %2 instead: its folder would not take it")
                    .arg(m_applied.name(), QDir::toNativeSeparators(path));
    if (m_punches.pending() > 0)
        told << QStringLiteral("%1: %2 punch(es) could not be saved anywhere and are lost: %3")
                    .arg(m_applied.name())
                    .arg(m_punches.pending())
                    .arg(why);
    m_retrySaves->stop();
    refresh();
    return told;
}

void Machine::refresh()
{
    using A = MachineState::Activity;
    MachineState s;
    s.id = m_id;
    s.name = m_applied.name();
    s.port = m_applied.port();
    s.open = m_link->port().isOpen();
    s.served = m_served != nullptr;
    s.unsaved = int(m_punches.pending());
    s.changeWaiting = m_pending.has_value();
    if (const SendTransfer *job = m_link->job()) {
        const SendProgress p = job->progress();
        s.activity = p.phase == SendPhase::StartWait ? A::WaitingForControl : A::Sending;
        s.percent = p.maximum > 0 ? int(qint64(p.value) * 100 / p.maximum) : 0;
    } else if (m_link->state() == LinkState::Receiving) {
        s.activity = A::Receiving;
    } else if (m_link->state() == LinkState::Scanning) {
        s.activity = A::Scanning;
    } else if (m_served && !s.open) {
        s.activity = A::PortMissing;
    } else if (m_served) {
        switch (m_served->state()) {
        case ServedMachine::State::Receiving:
            s.activity = A::Receiving;
            s.bytes = m_served->bytes();
            s.program = m_served->punchName();
            break;
        case ServedMachine::State::WaitingToSend:
            s.activity = A::WaitingToSend;
            break;
        default:
            s.activity = A::Listening;
        }
    }
    if (s == m_state) return;
    m_state = s;
    emit stateChanged(m_id);
}
