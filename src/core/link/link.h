#pragma once

#include "core/link/portscan.h"
#include "core/link/receivesession.h"
#include "core/config/vocabulary.h"
#include "core/protocols/protocoltransfer.h"
#include "core/sending/sendjob.h"
#include "core/base/transfer.h"

#include <QObject>
#include <QPointer>
#include <memory>

class Clock;
class MachineConfig;
class PortList;
class SerialPort;
class TapeCodePort;
class Timer;

// What the serial link is doing. Only the link changes it.
enum class LinkState { Idle, Sending, Receiving, Scanning };

enum class PortStatus { Open, Missing, Unavailable };

// A machine's serial port, and what runs on it. The link opens the port for
// the machine, starts sends, receiving and Port Scan, and is the one router
// of every received byte: to whatever is running (the send, for its
// XON/XOFF; the received text; Port Scan) or, while nothing runs, to
// whoever listens to an idle line (a served machine's punches and requests,
// the command line's receive). Nothing else subscribes to the port.
//
// A machine whose transfers go by a block protocol (XMODEM) gets the
// protocol's engines instead: a send is a ProtocolSend over its sending
// engine; a receive, and the idle line of whoever listens, a receiving
// engine, to which the link feeds what comes and which answers through the
// link; what it hands on goes where plain bytes would, and its end ends the
// punch (heardEnded). A listening engine that ends is started again: the
// line keeps asking for the next transfer.
//
// Receiving may begin while a send runs: the send keeps getting the bytes
// it needs, and when it ends the link is idle again. Each send and each
// receive is a Transfer, fixed when it starts, which says whose it is.
class Link : public QObject
{
    Q_OBJECT
public:
    // A link on a port it does not own (tests, benchmarks) ...
    Link(SerialPort &port, PortList &ports, Clock &clock, QObject *parent = nullptr);
    // ... or one that keeps its port: each machine's link has its own.
    Link(std::shared_ptr<SerialPort> port, PortList &ports, Clock &clock,
         QObject *parent = nullptr);
    ~Link() override;

    // The port the link was given; the link itself reads and writes it in
    // the machine's tape code.
    SerialPort &port();
    PortList &portList() { return m_ports; }
    Clock &clock() { return m_clock; }
    LinkState state() const { return m_state; }
    bool sending() const { return m_job && m_job->isRunning(); }
    // The running send, if any.
    SendTransfer *job() const { return sending() ? m_job.data() : nullptr; }
    // The protocol of the machine the port was last opened for.
    TransferProtocol protocol() const { return m_protocol; }
    ReceiveSession &receiver() { return m_receive; }
    PortScan &scan() { return m_scan; }

    // Closes the port and opens it on the machine's device with its
    // settings. A device the platform does not list is Missing (and the
    // port stays closed); one that will not open is Unavailable.
    PortStatus openFor(const MachineConfig &machine);
    // Makes sure the port is open on the machine's own device, with its
    // settings (a Port Scan may have left others); false when it can't be.
    bool openForSend(const MachineConfig &machine);
    void closePort();
    // The speed a stored speed the program does not offer keeps: the one in
    // force before. The workshop carries it from machine to machine, as the
    // one serial line of an attended PC always had it.
    qint32 speedBefore() const { return m_speed; }
    void setSpeedBefore(qint32 speed) { m_speed = speed; }

    // Starts sending `program` from `transfer.startLine` with the machine's
    // settings on the port as it is; null while a send or Port Scan runs. A
    // send started while receiving takes the link over.
    SendTransfer *startSend(const Program &program, const Transfer &transfer,
                       const MachineConfig &machine);
    // The running send's transfer, or the last one.
    const Transfer &sendTransfer() const { return m_send; }
    void beginReceive(const Transfer &transfer = {});
    bool receiving() const { return m_state == LinkState::Receiving; }
    // Ends receiving (and Port Scan); a send still running keeps the link
    // in the sending state.
    void endReceive();
    // Starts Port Scan on the open port; false while a send runs.
    bool beginScan();

    // Somebody hears the machine while its sends run too (a served
    // machine's control may punch or ask while its answer waits or goes
    // out): heard() then also carries what comes during a send, less the
    // send's own flow control and start sign, and a send's end keeps what
    // the machine sent.
    void setHearsDuringSends(bool hears) { m_hearsDuringSends = hears; }
    // Somebody listens to the idle line (heard()): where the machine's
    // protocol needs it, a receiving engine asks for transfers meanwhile.
    void setListening(bool listening);
    // The listening engine is inside a transfer the machine began: an
    // answer waits for its end.
    bool hearingTransfer() const
    {
        return m_engine && m_engineListens && m_engine->bytesDone() > 0;
    }
    // Ends a send that still waits for the machine to ask for it, as
    // stopped, with `why` for whoever records it (the transfer's
    // note says "withdrawn: " and why). False when the send is past its start wait.
    bool withdrawSend(const QString &why);

signals:
    void stateChanged(LinkState state);
    void sendStarted(SendTransfer *job);
    void sendFinished(SendOutcome outcome);
    // A receive began, and how it ended: completed, stopped (a send took
    // the link over) or port lost.
    void receiveStarted(const Transfer &transfer);
    void receiveEnded(const Transfer &transfer, SendOutcome outcome);
    // The device went away while open.
    void portLost();
    // Bytes that came while nothing ran on the link (or a send, where
    // setHearsDuringSends() asks for it).
    void heard(const QByteArray &bytes);
    // A transfer heard by a protocol's engine ended: what it handed on by
    // heard() is whole only if it completed; `why` says why it failed.
    void heardEnded(ProtocolOutcome outcome, const QString &why);

private:
    void setState(LinkState state);
    void endReceiving(SendOutcome outcome);
    void route(const QByteArray &bytes);
    LineSettings settingsFor(const MachineConfig &machine);
    bool listed(const QString &name) const;
    ProtocolTransfer::Writer writer();
    void startEngine(bool listens);
    void dropEngine();
    void engineEnded(ProtocolOutcome outcome);
    void listenIfIdle();
    void controlAsked(const QByteArray &name, bool byHeader);
    ProtocolTransfer *answerFor(const QByteArray &bytes, const Transfer &transfer,
                                const MachineConfig &machine);

    std::shared_ptr<SerialPort> m_owned;
    // The port in the machine's tape code: everything on the link goes
    // through it, so the link and all it runs see ISO text.
    std::unique_ptr<TapeCodePort> m_coded;
    SerialPort &m_port;
    PortList &m_ports;
    Clock &m_clock;
    LinkState m_state = LinkState::Idle;
    QPointer<SendTransfer> m_job;
    TransferProtocol m_protocol = TransferProtocol::Plain;
    // The receiving engine: the user's receive, or the idle line's listener.
    QPointer<ProtocolTransfer> m_engine;
    bool m_engineListens = false;
    bool m_listening = false;
    // What the control asked for with its own first block (blockwise): the
    // next send answers that block instead of opening with the PC's own.
    struct Asked {
        bool pending = false;
        QByteArray name; // empty: the folder
        bool byHeader = false;
    } m_asked;
    Timer *m_relisten;
    Transfer m_send;
    Transfer m_receiveTransfer;
    bool m_receiveOpen = false;
    bool m_receiveLost = false;
    bool m_hearsDuringSends = false;
    ReceiveSession m_receive;
    PortScan m_scan;
    // A stored speed the program does not offer keeps the one in force
    // before; the port starts out at 300 bit/s.
    qint32 m_speed = 300;
};
