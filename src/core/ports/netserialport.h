#pragma once

#include "core/ports/portaddress.h"
#include "core/ports/serialport.h"
#include "core/ports/telnetcodec.h"

class Clock;
class QTcpSocket;
class Timer;

// A machine's serial line behind an Ethernet-to-serial device server, named
// "tcp://host:port" or "rfc2217://host:port".
//
// Raw TCP carries the bytes as they are; the server keeps its own line
// settings, so apply() only remembers them. RFC 2217 speaks Telnet with the
// COM-PORT-OPTION: the server's port is set to the speed, data format and
// handshake given, 0xFF travels doubled, and the server may suspend our
// output for a while.
//
// Nothing here blocks: open() only starts the connection, and what is
// written before it is made (or while the server suspends output) waits
// here and counts in bytesToWrite(). A server that does not answer within
// ConnectTimeoutMs, refuses the serial port option or drops the connection
// closes the port with lost() and a reason in errorString().
//
// What a server sends is taken in bounded slices, so that neither memory
// nor the event loop is at its mercy. A server that breaks the protocol in
// a way that would make memory grow (a subnegotiation over
// Telnet::Decoder::MaxSubnegotiation bytes or left open for
// SubnegotiationTimeoutMs, answers left unread past MaxUnread bytes) loses
// the port the same way.
class NetSerialPort : public SerialPort, private Telnet::Decoder::Handler
{
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 5000;
    static constexpr int SubnegotiationTimeoutMs = 5000;
    // Our answers waiting in the socket beyond what the system takes. Data
    // is handed over a few KB at a time, so only a server that stopped
    // reading leaves this much.
    static constexpr qint64 MaxUnread = 256 * 1024;

    explicit NetSerialPort(Clock &clock, QObject *parent = nullptr);
    ~NetSerialPort() override;

    bool open(const QString &name, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_socket != nullptr; }
    QString name() const override { return m_name; }
    void apply(const LineSettings &settings) override;
    LineSettings settings() const override { return m_settings; }
    void flush(Direction which = Direction::Both) override;
    bool write(const QByteArray &bytes) override;
    // Bytes held here, in the socket's buffer and in the system's send
    // queue, so a send can wait for its output to leave as on a local port.
    qint64 bytesToWrite() const override;
    bool canChangeSettings() const override { return m_address.kind != PortAddress::Kind::RawTcp; }
    QString errorString() const override { return m_error; }

private:
    // What the Telnet side of an option is: never asked, asked, agreed.
    enum class Option : quint8 { Off, Asked, On };

    bool telnet() const { return m_address.kind == PortAddress::Kind::Rfc2217; }
    void onConnected();
    void onReadyRead();
    // Emits the data in what the server sent.
    void deliver(const QByteArray &bytes);
    void onSocketError();
    void onTimeout();
    // Closes the connection, keeps `why` and reports the port lost.
    void fail(const QString &why);
    void dropSocket();
    // Hands held output to the socket, a little at a time, so that flush()
    // can still discard most of it.
    void pump();
    void ready();

    // Takes the data out of what the server sent and acts on the Telnet
    // commands in it.
    QByteArray parse(QByteArrayView bytes);
    bool command(quint8 verb, quint8 option) override;
    bool subnegotiation(QByteArrayView sub) override;
    void send(const QByteArray &bytes);
    void sendVerb(quint8 verb, quint8 option);
    void sendPortCommand(quint8 command, const QByteArray &value);
    void sendSettings();

    Timer *m_timeout;
    Timer *m_subTimeout; // runs while a subnegotiation is open
    QTcpSocket *m_socket = nullptr;
    QString m_name;
    PortAddress m_address;
    LineSettings m_settings;
    QString m_error;
    QByteArray m_out; // written, not handed to the socket yet
    bool m_connected = false;
    bool m_ready = false; // connected, and for RFC 2217 the option agreed
    bool m_suspended = false;
    bool m_readQueued = false; // the rest of what arrived is taken on the next turn
    quint64 m_generation = 0;  // a loss reported late must not close a newer connection

    Telnet::Decoder m_decoder;
    Option m_we[3] = {};   // BINARY, SGA, COM-PORT-OPTION: what we do
    Option m_they[3] = {}; // what the server does
};
