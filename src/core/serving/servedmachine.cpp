#include "core/serving/servedmachine.h"

#include "core/base/clock.h"
#include "core/link/link.h"
#include "core/serving/programlookup.h"
#include "core/programs/programqueue.h"
#include "core/ports/serialport.h"

ServedMachine::ServedMachine(Link &link, const MachineConfig &machine, MachineId id, Clock &clock,
                             QObject *parent)
    : QObject(parent), m_link(link), m_machine(machine), m_id(id), m_assembler(clock),
      m_delay(clock.createTimer(this)), m_retry(clock.createTimer(this))
{
    m_assembler.setStripByte(machine.stripByte());
    m_assembler.setEndCode(machine.value(Key::EndCode));
    connect(&m_assembler, &PunchAssembler::punched, this, &ServedMachine::onPunch);
    connect(&m_assembler, &PunchAssembler::changed, this, &ServedMachine::pump);
    connect(&link.port(), &SerialPort::received, this, &ServedMachine::onReceived);
    connect(&link, &Link::stateChanged, this, &ServedMachine::pump);
    connect(&link, &Link::sendStarted, this, [this](SendJob *job) {
        connect(job, &SendJob::progressChanged, this, &ServedMachine::update);
    });
    connect(&link, &Link::portLost, this, [this] {
        // What came in so far is kept; what was to go out has nowhere to go.
        m_assembler.finish();
        dropQueue();
    });
    connect(m_delay, &Timer::timeout, this, [this] {
        m_delayDone = true;
        pump();
    });
    connect(m_retry, &Timer::timeout, this, &ServedMachine::retrySaves);
}

void ServedMachine::onReceived(const QByteArray &bytes)
{
    // A send (its DC1/DC3), the user's receive and Port Scan have the
    // bytes to themselves.
    if (m_link.state() != LinkState::Idle || m_shutDown) return;
    // In mode "3" any byte starts the send: the tail of the request's own
    // punch must not be taken for the control asking.
    if (m_delay->isActive() && m_machine.flowMode() == FlowMode::StartOnAnyByte)
        m_delay->start(QuietMs);
    m_assembler.feed(bytes);
}

int ServedMachine::shutDown()
{
    m_shutDown = true;
    const int dropped = int(m_waiting.size());
    dropQueue();
    m_assembler.finish();
    retrySaves();
    if (SendJob *job = m_link.job()) job->stop();
    return dropped;
}

bool ServedMachine::isDone() const
{
    return m_link.state() == LinkState::Idle;
}

QStringList ServedMachine::saveWaitingIn(const QString &folder)
{
    QStringList saved;
    m_store.saveWaitingIn(folder, &saved);
    if (m_store.pending() == 0) m_retry->stop();
    return saved;
}

void ServedMachine::onPunch(const QByteArray &punch)
{
    retrySaves();
    // Stopping, a request gets no answer: there would be nobody to send it.
    const auto request = ProgramRequest::parse(punch);
    if (request && m_shutDown)
        emit requestRefused(QString::fromLatin1(request->name), QStringLiteral("stopping"));
    else if (request)
        serve(*request);
    else
        save(punch);
}

void ServedMachine::serve(const ProgramRequest &request)
{
    if (m_link.sending() || !m_waiting.isEmpty()) return refuse(request, Refusal::Busy);
    const ProgramLookup found =
        findProgram(m_machine.value(Key::Folder), request, m_machine.value(Key::Extension));
    if (found.outcome == ProgramLookup::Outcome::Ambiguous)
        return refuse(request, Refusal::Ambiguous);
    if (found.outcome == ProgramLookup::Outcome::NotFound)
        return refuse(request, Refusal::NotFound);
    const ProgramFile file = ProgramFile::read(found.path);
    if (!file.reason.isEmpty()) return refuse(request, Refusal::NotFound, file.reason);
    QByteArray bytes = file.bytes;
    if (!request.block.isEmpty()) {
        const std::optional<QByteArray> from = restartAtBlock(bytes, request.block);
        if (!from) return refuse(request, Refusal::NoBlock);
        bytes = *from;
    }
    enqueue({bytes, ProgramSource::file(found.path), QString::fromLatin1(request.name), {}});
    emit requestServed(QString::fromLatin1(request.name), found.path);
}

void ServedMachine::refuse(const ProgramRequest &request, Refusal reason, const QString &why)
{
    enqueue({refusalReply(request, reason), {}, QString::fromLatin1(request.name),
             QString::fromLatin1(refusalText(reason)).toLower()});
    emit requestRefused(QString::fromLatin1(request.name),
                        why.isEmpty() ? QString::fromLatin1(refusalText(reason)) : why);
}

void ServedMachine::enqueue(Outgoing out)
{
    // A machine asking again and again while it is busy gets a few answers,
    // not a queue without end.
    if (m_waiting.size() >= MaxWaiting || m_shutDown) return;
    m_waiting.append(std::move(out));
    pump();
}

Transfer ServedMachine::transfer() const
{
    Transfer t;
    t.machine = m_id;
    t.machineName = m_machine.name();
    t.port = m_machine.port();
    return t;
}

void ServedMachine::save(const QByteArray &punch)
{
    const PunchStore::Result saved =
        m_store.save(m_machine.value(Key::Folder), m_machine.value(Key::Extension), punch);
    Transfer t = transfer();
    t.direction = Transfer::Direction::Receive;
    emit punchEnded(t, punch, saved.path, saved.error);
    if (saved.error.isEmpty()) {
        emit punchSaved(saved.path);
        return;
    }
    emit saveFailed(saved.error);
    if (m_store.pending() > 0 && !m_retry->isActive()) m_retry->start(RetryMs);
}

void ServedMachine::retrySaves()
{
    if (m_store.pending() == 0) return;
    QStringList saved;
    m_store.retry(&saved);
    for (const QString &path : saved)
        emit punchSaved(path);
    if (m_store.pending() == 0)
        m_retry->stop();
    else if (!m_retry->isActive())
        m_retry->start(RetryMs);
}

void ServedMachine::pump()
{
    // A punch coming in is heard to its end before anything is sent.
    if (!m_waiting.isEmpty() && m_link.state() == LinkState::Idle && !m_delay->isActive() &&
        !m_assembler.inPunch()) {
        // In modes "3" and "4" the send itself waits for the control.
        const FlowMode flow = m_machine.flowMode();
        if (flow != FlowMode::StartOnDc1 && !m_delayDone) {
            m_delay->start(flow == FlowMode::StartOnAnyByte ? QuietMs : StartDelayMs);
        } else {
            m_delayDone = false;
            Transfer t = transfer();
            Outgoing out = m_waiting.takeFirst();
            t.source = out.source;
            t.requested = out.requested;
            t.refused = out.refused;
            m_link.startSend(Program::fromFile(std::move(out.bytes)), t, m_machine);
        }
    }
    update();
}

void ServedMachine::dropQueue()
{
    m_waiting.clear();
    m_delay->stop();
    m_delayDone = false;
    update();
}

void ServedMachine::update()
{
    State state = State::Listening;
    qsizetype bytes = 0;
    int percent = 0;
    if (const SendJob *job = m_link.job()) {
        const SendProgress p = job->progress();
        state = p.phase == SendPhase::StartWait ? State::WaitingForControl : State::Sending;
        percent = p.maximum > 0 ? int(qint64(p.value) * 100 / p.maximum) : 0;
    } else if (m_assembler.inPunch()) {
        state = State::Receiving;
        bytes = m_assembler.size();
    } else if (m_delay->isActive()) {
        state = State::WaitingToSend;
    }
    if (state == m_state && bytes == m_bytes && percent == m_percent) return;
    m_state = state;
    m_bytes = bytes;
    m_percent = percent;
    emit stateChanged();
}
