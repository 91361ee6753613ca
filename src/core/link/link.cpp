#include "core/link/link.h"

#include "core/base/ownfiles.h"
#include "core/config/machineconfig.h"
#include "core/ports/portaddress.h"
#include "core/ports/serialport.h"
#include "core/tapecode/tapecodeport.h"
#include "core/base/clock.h"
#include "core/protocols/blockwiseframe.h"
#include "core/protocols/blockwiseplan.h"
#include "core/protocols/protocols.h"
#include "core/protocols/protocolsend.h"
#include "core/sending/sendjob.h"

#include <QDir>
#include <utility>

Link::Link(SerialPort &port, PortList &ports, Clock &clock, QObject *parent)
    : QObject(parent), m_coded(std::make_unique<TapeCodePort>(port, clock)), m_port(*m_coded),
      m_ports(ports), m_clock(clock), m_relisten(clock.createTimer(this)), m_receive(clock),
      m_scan(*m_coded)
{
    connect(&m_port, &SerialPort::received, this, &Link::route);
    connect(&m_port, &SerialPort::lost, this, [this] {
        // The receive is told how it ended when it ends.
        if (m_receiveOpen) m_receiveLost = true;
        if (m_engine) m_engine->portLost();
        emit portLost();
    });
    connect(m_relisten, &Timer::timeout, this, &Link::listenIfIdle);
}

Link::Link(std::shared_ptr<SerialPort> port, PortList &ports, Clock &clock, QObject *parent)
    : Link(*port, ports, clock, parent)
{
    m_owned = std::move(port);
}

SerialPort &Link::port()
{
    return m_coded->line();
}

Link::~Link()
{
    // The job and the port go with the link, the job first: it writes to
    // the port.
    delete m_job.data();
}

void Link::setState(LinkState state)
{
    if (state == m_state) return;
    dropEngine();
    if (m_state == LinkState::Receiving)
        endReceiving(state == LinkState::Sending ? SendOutcome::Stopped : SendOutcome::Completed);
    m_state = state;
    emit stateChanged(state);
    listenIfIdle();
}

void Link::endReceiving(SendOutcome outcome)
{
    if (!m_receiveOpen) return;
    m_receiveOpen = false;
    emit receiveEnded(m_receiveTransfer, m_receiveLost ? SendOutcome::PortLost : outcome);
}

// DC1 to DC4: what a machine says to the send, not data.
static QByteArray withoutFlowControl(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        if (c < 17 || c > 20) out += c;
    return out;
}

void Link::route(const QByteArray &bytes)
{
    // A send running while the user receives still needs the machine's
    // XON/XOFF, or it would overrun the machine.
    const qsizetype sign = sending() ? m_job->feed(bytes) : 0;
    if (m_engine && (m_state == LinkState::Receiving || m_state == LinkState::Idle))
        m_engine->feed(bytes);
    else if (m_state == LinkState::Sending) {
        if (m_hearsDuringSends) {
            const QByteArray rest = withoutFlowControl(QByteArrayView(bytes).sliced(sign));
            if (!rest.isEmpty()) emit heard(rest);
        }
    } else if (m_state == LinkState::Receiving)
        m_receive.feed(bytes);
    else if (m_state == LinkState::Scanning)
        m_scan.feed(bytes);
    else if (m_state == LinkState::Idle)
        emit heard(bytes);
}

bool Link::listed(const QString &name) const
{
    // A network serial server is reached by its address; a device must be
    // one the system lists, or a path that leads to a serial device.
    const PortAddress address = PortAddress::parse(name);
    if (address.kind != PortAddress::Kind::Device) return address.isNetwork();
    return !name.isEmpty() && (m_ports.names().contains(name) || isSerialDevicePath(name));
}

LineSettings Link::settingsFor(const MachineConfig &machine)
{
    const LineSettings s = LineSettings::forMachine(machine, m_speed);
    m_speed = s.speed;
    m_coded->setCode(machine.tapeCode());
    return s;
}

PortStatus Link::openFor(const MachineConfig &machine)
{
    if (!listed(machine.port())) {
        // Never leave the port open on a device that is not this machine's.
        m_port.close();
        return PortStatus::Missing;
    }
    const LineSettings s = settingsFor(machine);
    // A listener asks in the protocol it was made for: it starts again
    // with the machine's, once the port is open.
    if (m_engineListens) dropEngine();
    m_port.close();
    m_protocol = machine.protocol();
    if (!m_port.open(machine.port(), s)) return PortStatus::Unavailable;
    listenIfIdle();
    return PortStatus::Open;
}

bool Link::openForSend(const MachineConfig &machine)
{
    if (!listed(machine.port())) return false;
    const LineSettings s = settingsFor(machine);
    m_protocol = machine.protocol();
    if (m_port.isOpen() && m_port.name() == machine.port()) {
        if (m_port.settings() != s) m_port.apply(s);
        return true;
    }
    m_port.close();
    return m_port.open(machine.port(), s);
}

void Link::closePort()
{
    m_port.close();
}

SendTransfer *Link::startSend(const Program &program, const Transfer &transfer,
                         const MachineConfig &machine)
{
    if (sending() || m_state == LinkState::Scanning) return nullptr;
    const int startLine = transfer.startLine;
    m_send = transfer;
    m_send.direction = Transfer::Direction::Send;
    if (m_job) m_job->deleteLater();
    m_coded->setCode(machine.tapeCode());
    SendSettings settings = SendSettings::of(machine);
    settings.keepInput = m_hearsDuringSends;
    m_protocol = machine.protocol();
    QList<qint64> lineEnds;
    const QByteArray payload =
        m_protocol == TransferProtocol::Plain
            ? QByteArray()
            : ProtocolSend::payload(program, startLine, settings.endOfBlock, &lineEnds);
    ProtocolTransfer *engine =
        m_protocol == TransferProtocol::Plain ? nullptr
        : std::exchange(m_asked.pending, false)
            ? answerFor(payload, transfer, machine)
            : Protocols::sender(m_protocol, payload, lineEnds, writer(), m_clock,
                                transfer.source.path);
    if (engine)
        m_job = new ProtocolSend(m_port, program, startLine, engine, this);
    else
        m_job = new SendJob(m_port, m_clock, program, startLine, settings, this);
    SendTransfer *job = m_job;
    connect(job, &SendTransfer::finished, this, [this, job](SendOutcome outcome) {
        if (job != m_job) return;
        if (outcome == SendOutcome::Failed) m_send.note = QStringLiteral("failed: ") + job->why();
        // Told before the link is idle: an answer waiting starts the moment
        // it is, and must not be taken for the send that ended.
        emit sendFinished(outcome);
        setState(LinkState::Idle);
    });
    setState(LinkState::Sending);
    emit sendStarted(job);
    job->start();
    return job;
}

bool Link::withdrawSend(const QString &why)
{
    if (!sending() || !m_job->waitsForMachine()) return false;
    m_send.note = QStringLiteral("withdrawn: ") + why;
    m_job->stop();
    return true;
}

void Link::beginReceive(const Transfer &transfer)
{
    if (m_state == LinkState::Receiving) return;
    setState(LinkState::Receiving);
    m_receiveTransfer = transfer;
    m_receiveTransfer.direction = Transfer::Direction::Receive;
    m_receiveOpen = true;
    m_receiveLost = false;
    emit receiveStarted(m_receiveTransfer);
    if (m_protocol != TransferProtocol::Plain) startEngine(false);
}

void Link::endReceive()
{
    m_receive.discard();
    setState(sending() ? LinkState::Sending : LinkState::Idle);
}

bool Link::beginScan()
{
    if (sending()) return false;
    m_receive.discard();
    // Port Scan judges the line by the raw bytes.
    m_coded->setCode(TapeCode::Iso);
    setState(LinkState::Scanning);
    m_scan.start();
    return true;
}

void Link::setListening(bool listening)
{
    m_listening = listening;
    if (listening)
        listenIfIdle();
    else if (m_engine && m_engineListens)
        dropEngine();
}

ProtocolTransfer::Writer Link::writer()
{
    return [this](const QByteArray &bytes) { return m_port.write(bytes); };
}

void Link::listenIfIdle()
{
    if (!m_listening || m_state != LinkState::Idle || m_engine || !m_port.isOpen()) return;
    m_relisten->stop();
    startEngine(true);
}

void Link::startEngine(bool listens)
{
    ProtocolTransfer *engine = Protocols::receiver(m_protocol, writer(), m_clock);
    if (!engine) return;
    engine->setParent(this);
    m_engine = engine;
    m_engineListens = listens;
    connect(engine, &ProtocolTransfer::data, this, [this](const QByteArray &text) {
        if (m_engineListens)
            emit heard(text);
        else
            m_receive.feed(text);
    });
    connect(engine, &ProtocolTransfer::finished, this, &Link::engineEnded);
    if (listens) connect(engine, &ProtocolTransfer::asked, this, &Link::controlAsked);
    engine->start();
}

// A control that asks with a block of its own is a served machine's
// request like any other: it goes to whoever hears the line as one, and
// the send that answers it answers that block.
void Link::controlAsked(const QByteArray &name, bool byHeader)
{
    m_asked = {true, name, byHeader};
    const bool folder = name.isEmpty() || name.contains('*');
    emit heard(folder ? QByteArray("%\n(LIST)\n%\n") : "%\n(SEND " + name + ")\n%\n");
}

// The folder asked for by a pattern: a name and its bytes a line, sent as
// a program is.
static QByteArray listingOf(const QList<FolderEntry> &entries)
{
    QByteArray out;
    for (const FolderEntry &e : entries)
        out += e.name + ' ' + QByteArray::number(e.size) + '\n';
    return out;
}

ProtocolTransfer *Link::answerFor(const QByteArray &bytes, const Transfer &transfer,
                                  const MachineConfig &machine)
{
    BlockwisePlan plan;
    const bool folder = m_asked.name.isEmpty() || m_asked.name.contains('*');
    if (!transfer.refused.isEmpty() && !folder) {
        plan = refusalPlan(transfer.refused.toUpper().toLatin1() + ' ' + m_asked.name);
    } else if (folder) {
        // The folder as a served machine's listing has it: every file but
        // the program's own half-written temporaries and its own files.
        QList<FolderEntry> entries;
        for (const QFileInfo &f :
             QDir(machine.value(Key::Folder)).entryInfoList(QDir::Files, QDir::Name))
            if (!isProgramsOwnFile(f.fileName()))
                entries.append({f.fileName().toLatin1(), f.size()});
        plan = m_asked.name.isEmpty() ? directoryPlan(entries, m_asked.byHeader)
                                      : programPlan(listingOf(entries), {}, 'H', true);
    } else {
        plan = programPlan(bytes, m_asked.name, Blockwise::fileCode(transfer.source.path), true);
    }
    return Protocols::answer(std::move(plan), writer(), m_clock);
}

void Link::dropEngine()
{
    ProtocolTransfer *engine = m_engine;
    if (!engine) return;
    m_engine = nullptr;
    engine->disconnect(this);
    engine->deleteLater();
    // A listener that has heard nothing yet just stops asking; anything
    // begun is cancelled, and its punch cut.
    if (m_engineListens && engine->bytesDone() == 0) return;
    engine->stop();
    if (m_engineListens) emit heardEnded(ProtocolOutcome::Stopped, {});
}

void Link::engineEnded(ProtocolOutcome outcome)
{
    ProtocolTransfer *engine = m_engine;
    m_engine = nullptr;
    engine->disconnect(this);
    engine->deleteLater();
    if (m_engineListens) {
        emit heardEnded(outcome, engine->why());
        // A transfer that failed (or a port that refused the asking) is
        // asked for again after a while, not at once.
        if (outcome == ProtocolOutcome::Completed)
            listenIfIdle();
        else if (outcome != ProtocolOutcome::PortLost)
            m_relisten->start(3000);
        return;
    }
    m_receive.flush();
    if (outcome == ProtocolOutcome::Failed)
        m_receiveTransfer.note = QStringLiteral("failed: ") + engine->why();
    endReceiving(ProtocolSend::outcomeOf(outcome));
    setState(sending() ? LinkState::Sending : LinkState::Idle);
}
