#include "core/link/link.h"

#include "core/config/machineconfig.h"
#include "core/ports/portaddress.h"
#include "core/ports/serialport.h"
#include "core/tapecode/tapecodeport.h"

Link::Link(SerialPort &port, PortList &ports, Clock &clock, QObject *parent)
    : QObject(parent), m_coded(std::make_unique<TapeCodePort>(port, clock)), m_port(*m_coded),
      m_ports(ports), m_clock(clock), m_receive(clock), m_scan(*m_coded)
{
    connect(&m_port, &SerialPort::received, this, &Link::route);
    connect(&m_port, &SerialPort::lost, this, [this] {
        // The receive is told how it ended when it ends.
        if (m_receiveOpen) m_receiveLost = true;
        emit portLost();
    });
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
    if (m_state == LinkState::Receiving)
        endReceiving(state == LinkState::Sending ? SendOutcome::Stopped : SendOutcome::Completed);
    m_state = state;
    emit stateChanged(state);
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
    if (m_state == LinkState::Sending) {
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
    m_port.close();
    return m_port.open(machine.port(), s) ? PortStatus::Open : PortStatus::Unavailable;
}

bool Link::openForSend(const MachineConfig &machine)
{
    if (!listed(machine.port())) return false;
    const LineSettings s = settingsFor(machine);
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

SendJob *Link::startSend(const Program &program, const Transfer &transfer,
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
    m_job = new SendJob(m_port, m_clock, program, startLine, settings, this);
    SendJob *job = m_job;
    connect(job, &SendJob::finished, this, [this, job](SendOutcome outcome) {
        if (job != m_job) return;
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
