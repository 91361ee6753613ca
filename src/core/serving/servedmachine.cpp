#include "core/serving/servedmachine.h"

#include "core/base/clock.h"
#include "core/link/link.h"
#include "core/ports/serialport.h"
#include "core/programs/programqueue.h"
#include "core/serving/programcompare.h"
#include "core/serving/programlisting.h"
#include "core/serving/programlookup.h"

#include <QFileInfo>
#include <utility>

namespace
{
QString notAnswered()
{
    return QStringLiteral("; not answered: %1 answers wait already").arg(ServedMachine::MaxWaiting);
}
} // namespace

ServedMachine::ServedMachine(Link &link, const MachineConfig &machine, MachineId id,
                             PunchStore &store, Clock &clock, QObject *parent)
    : QObject(parent), m_link(link), m_machine(machine), m_id(id), m_clock(clock),
      m_assembler(clock, MaxPunchBytes), m_store(store), m_delay(clock.createTimer(this)),
      m_answerWait(clock.createTimer(this)), m_compareWait(clock.createTimer(this)),
      m_cutAs(SendOutcome::Stopped)
{
    m_assembler.setStripByte(machine.stripByte());
    m_assembler.setEndCode(machine.value(Key::EndCode));
    connect(&m_assembler, &PunchAssembler::punched, this, &ServedMachine::onPunch);
    connect(&m_assembler, &PunchAssembler::cutOff, this, &ServedMachine::onCutOff);
    connect(&m_assembler, &PunchAssembler::tooLarge, this, &ServedMachine::onTooLarge);
    connect(
        &m_assembler, &PunchAssembler::dropped, this, [this](qint64 bytes, const QByteArray &head) {
            emit dropped(transferOf(m_id, m_machine, Transfer::Direction::Receive), bytes, head);
        });
    connect(&m_assembler, &PunchAssembler::changed, this, [this] {
        if (m_assembler.inPunch() && m_punchStartNs < 0) m_punchStartNs = m_clock.nowNs();
        if (m_compareLapsing && !m_assembler.inPunch()) lapse();
        pump();
    });
    // The link hands over what comes while nothing but an answer runs on
    // it: nothing the control punches meanwhile is lost.
    link.setHearsDuringSends(true);
    connect(&link, &Link::heard, this, &ServedMachine::onReceived);
    // A protocol's transfer ends the punch it carried: whole when it
    // completed, cut off, with why, when not.
    connect(&link, &Link::heardEnded, this, [this](ProtocolOutcome outcome, const QString &why) {
        if (outcome == ProtocolOutcome::Completed) {
            m_assembler.finish();
            return pump(); // an answer waited for the transfer's end
        }
        m_cutAs =
            outcome == ProtocolOutcome::PortLost ? SendOutcome::PortLost : SendOutcome::Stopped;
        if (!why.isEmpty()) m_cutNote = QStringLiteral("failed: ") + why;
        m_assembler.cut();
        m_cutNote.clear();
    });
    link.setListening(true);
    connect(&link, &Link::stateChanged, this, &ServedMachine::pump);
    connect(&link, &Link::sendStarted, this, [this](SendTransfer *job) {
        connect(job, &SendTransfer::progressChanged, this, [this, job] {
            if (!job->waitsForMachine())
                m_answerWait->stop();
            else if (!m_answerWait->isActive())
                m_answerWait->start(AnswerWaitMs);
            update();
        });
    });
    connect(m_answerWait, &Timer::timeout, this, [this] {
        (void)m_link.withdrawSend(
            QStringLiteral("the control did not ask for it within %1 s").arg(AnswerWaitMs / 1000));
    });
    connect(&link, &Link::portLost, this, [this] {
        // What came in so far is kept, as incomplete; what was to go out has
        // nowhere to go.
        m_cutAs = SendOutcome::PortLost;
        m_assembler.cut();
        dropQueue();
    });
    // A punch begun in time is compared when it ends.
    connect(m_compareWait, &Timer::timeout, this, [this] {
        m_compareLapsing = true;
        if (!m_assembler.inPunch()) lapse();
    });
    connect(m_delay, &Timer::timeout, this, [this] {
        m_delayDone = true;
        pump();
    });
}

void ServedMachine::onReceived(const QByteArray &bytes)
{
    if (m_shutDown) {
        m_ignored += bytes.size();
        return;
    }
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
    m_cutAs = SendOutcome::Stopped;
    m_assembler.cut();
    if (SendTransfer *job = m_link.job()) job->stop();
    return dropped;
}

bool ServedMachine::isIdle() const
{
    return m_link.state() == LinkState::Idle && !m_assembler.holding() && m_waiting.isEmpty() &&
           !m_delay->isActive();
}

void ServedMachine::onCutOff(const QByteArray &punch)
{
    // Never taken for a request, nor saved under the program's own name.
    save(punch, m_cutAs, m_cutNote);
}

void ServedMachine::onTooLarge(const QByteArray &punch, qint64 leftOut)
{
    save(punch, SendOutcome::Stopped,
         QStringLiteral("too large: only the first %1 MB kept, %2 bytes after them left out")
             .arg(MaxPunchBytes / (1024 * 1024))
             .arg(leftOut));
}

void ServedMachine::onPunch(const QByteArray &punch)
{
    // Stopping, a request gets no answer: there would be nobody to send it.
    const auto request = ProgramRequest::parse(punch);
    // A request is no punch to time: the next punch starts its own clock.
    if (request) m_punchStartNs = -1;
    if (request && m_shutDown)
        emit requestRefused(QString::fromLatin1(request->asked()), QStringLiteral("stopping"));
    else if (request)
        serve(*request);
    else if (m_compare)
        compare(punch);
    else
        save(punch, SendOutcome::Completed);
}

void ServedMachine::serve(const ProgramRequest &request)
{
    if (request.badName) return refuse(request, Refusal::BadName);
    if (request.kind == ProgramRequest::Kind::Compare) {
        m_compare = request;
        m_compareLapsing = false;
        m_compareWait->start(CompareWaitMs);
        emit requestAnswered(QStringLiteral("COMPARE"),
                             QStringLiteral("the next punch within %1 s is compared, not saved")
                                 .arg(CompareWaitMs / 1000));
        return;
    }
    if (m_link.sending() || !m_waiting.isEmpty()) return refuse(request, Refusal::Busy);
    if (request.kind == ProgramRequest::Kind::List) return list(request);
    const ProgramLookup found =
        findProgram(m_machine.value(Key::Folder), request, m_machine.value(Key::Extension));
    if (found.outcome == ProgramLookup::Outcome::Ambiguous)
        return refuse(request, Refusal::Ambiguous);
    if (found.outcome == ProgramLookup::Outcome::NotFound)
        return refuse(request, Refusal::NotFound);
    const ProgramFile file = ProgramFile::read(found.path, MaxRequestBytes);
    if (!file.reason.isEmpty())
        return refuse(request, file.tooLarge ? Refusal::TooLarge : Refusal::NotFound, file.reason);
    QByteArray bytes = file.bytes;
    if (!request.block.isEmpty()) {
        const std::optional<QByteArray> from = restartAtBlock(bytes, request.block);
        if (!from) return refuse(request, Refusal::NoBlock);
        bytes = *from;
    }
    // Told before it goes: a protocol's answer may start, and even end, at once.
    emit requestServed(QString::fromLatin1(request.name), found.path);
    enqueue({bytes, ProgramSource::file(found.path), QString::fromLatin1(request.name), {}});
}

void ServedMachine::refuse(const ProgramRequest &request, Refusal reason, const QString &why)
{
    const QString lower = QString::fromLatin1(refusalText(reason)).toLower();
    const QString asked = QString::fromLatin1(request.asked());
    const bool answered = mayEnqueue();
    // The reply's own words only once it goes; until then what was decided.
    QString told = why.isEmpty() ? lower : why;
    told += answered ? QStringLiteral("; the reply waits its turn") : notAnswered();
    emit requestRefused(asked, told);
    if (answered) enqueue({refusalReply(request, reason), {}, asked, lower});
}

void ServedMachine::list(const ProgramRequest &request)
{
    const ProgramListing listing = listPrograms(m_machine.value(Key::Folder), request.name);
    if (listing.total == 0) return refuse(request, Refusal::NotFound);
    const QString what = QStringLiteral("listing of %1 program%2")
                             .arg(listing.total)
                             .arg(listing.total == 1 ? "" : "s");
    const QString asked = QString::fromLatin1(request.asked());
    const bool answered = mayEnqueue();
    emit requestAnswered(asked,
                         answered ? QStringLiteral("sending a ") + what : what + notAnswered());
    if (answered) enqueue({commentProgram(request.frame, listing.lines), {}, asked, what});
}

void ServedMachine::compare(const QByteArray &punch)
{
    const ProgramRequest marked = *std::exchange(m_compare, std::nullopt);
    m_compareWait->stop();
    m_compareLapsing = false;
    const Comparison c = compareWithFolder(m_machine.value(Key::Folder),
                                           m_machine.value(Key::Extension), punch, MaxRequestBytes);
    const QString answer = QString::fromLatin1(c.answer);
    Transfer t = transferOf(m_id, m_machine, Transfer::Direction::Receive);
    const QString with = c.file.isEmpty() ? QString() : " with " + QFileInfo(c.file).fileName();
    t.note = QStringLiteral("compared%1: %2").arg(with, answer);
    emit punchEnded(t, punch, {}, {}, SendOutcome::Completed, std::exchange(m_punchStartNs, -1));
    if (!enqueue({commentProgram(marked.frame, {c.answer}), {}, QStringLiteral("COMPARE"), answer}))
        emit requestAnswered(QStringLiteral("COMPARE"), answer + notAnswered());
}

void ServedMachine::lapse()
{
    m_compareLapsing = false;
    if (!std::exchange(m_compare, std::nullopt)) return;
    emit requestAnswered(QStringLiteral("COMPARE"),
                         QStringLiteral("lapsed: no punch within %1 s").arg(CompareWaitMs / 1000));
}

bool ServedMachine::mayEnqueue() const
{
    // A machine asking again and again while it is busy gets a few answers,
    // not a queue without end.
    return m_waiting.size() < MaxWaiting && !m_shutDown;
}

bool ServedMachine::enqueue(Outgoing out)
{
    if (!mayEnqueue()) return false;
    m_waiting.append(std::move(out));
    pump();
    return true;
}

void ServedMachine::save(const QByteArray &punch, SendOutcome outcome, const QString &note)
{
    const qint64 started = std::exchange(m_punchStartNs, -1);
    const PunchStore::Result saved =
        m_store.save(m_machine.value(Key::Folder), m_machine.value(Key::Extension), punch,
                     outcome == SendOutcome::Completed);
    for (const QString &path : saved.earlier)
        emit savedLater(path);
    Transfer t = transferOf(m_id, m_machine, Transfer::Direction::Receive);
    t.note = note;
    emit punchEnded(t, punch, saved.path, saved.error, outcome, started);
    if (!saved.error.isEmpty()) emit saveFailed(saved.error);
}

void ServedMachine::pump()
{
    // A punch coming in is heard to its end before anything is sent.
    if (!m_waiting.isEmpty() && m_link.state() == LinkState::Idle && !m_delay->isActive() &&
        !m_assembler.inPunch() && !m_link.hearingTransfer()) {
        // In modes "3" and "4" the send itself waits for the control, and a
        // block protocol's answer starts when the control asks for it.
        const FlowMode flow = m_machine.flowMode();
        if (flow != FlowMode::StartOnDc1 && m_machine.protocol() == TransferProtocol::Plain &&
            !m_delayDone) {
            m_delay->start(flow == FlowMode::StartOnAnyByte ? QuietMs : StartDelayMs);
        } else {
            m_delayDone = false;
            Transfer t = transferOf(m_id, m_machine, Transfer::Direction::Send);
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
    qint64 bytes = 0;
    int percent = 0;
    if (const SendTransfer *job = m_link.job()) {
        const SendProgress p = job->progress();
        state = p.phase == SendPhase::StartWait ? State::WaitingForControl : State::Sending;
        percent = p.maximum > 0 ? int(qint64(p.value) * 100 / p.maximum) : 0;
    } else if (m_assembler.inPunch()) {
        state = State::Receiving;
        bytes = m_assembler.size();
    } else if (m_delay->isActive()) {
        state = State::WaitingToSend;
    }
    const QString name =
        state == State::Receiving ? QString::fromLatin1(m_assembler.name()) : QString();
    if (state == m_state && bytes == m_bytes && percent == m_percent && name == m_punchName) return;
    m_state = state;
    m_bytes = bytes;
    m_percent = percent;
    m_punchName = name;
    emit stateChanged();
}
