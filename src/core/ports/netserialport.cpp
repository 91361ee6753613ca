#include "core/ports/netserialport.h"

#include "core/base/clock.h"

#include <QMetaObject>
#include <QTcpSocket>

#if defined(Q_OS_LINUX)
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

using namespace Telnet;

namespace
{

// COM-PORT-OPTION commands; the server answers each with the code + 100.
constexpr quint8 SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                 SET_CONTROL = 5, FLOWCONTROL_SUSPEND = 8, FLOWCONTROL_RESUME = 9, PURGE_DATA = 12,
                 SERVER_OFFSET = 100;
// SET-CONTROL values.
constexpr quint8 NO_FLOW = 1, XON_XOFF = 2, HARDWARE_FLOW = 3, DTR_ON = 8, DTR_OFF = 9, RTS_ON = 11,
                 RTS_OFF = 12, DSR_FLOW = 19;
// SET-PARITY values, in the order of Parity.
constexpr quint8 kParities[] = {1 /* NONE */, 3 /* EVEN */, 2 /* ODD */, 4 /* MARK */,
                                5 /* SPACE */};

// Output is handed to the socket in pieces of this size.
constexpr qint64 kChunk = 4096;
// What the server sent is taken this much at a time, each slice on its own
// turn of the event loop, and the socket holds no more than a few slices:
// the rest waits in the system, which slows the server down.
constexpr qint64 kSlice = 16 * 1024;
constexpr qint64 kReadBuffer = 4 * kSlice;
// The system's send queue is kept to seconds of a serial line rather than
// megabytes, so what flush() cannot take back any more stays small.
constexpr int kSendBuffer = 32 * 1024;

// The options we take part in, as indexes into the option states.
int optionIndex(quint8 option)
{
    return option == BINARY ? 0 : option == SGA ? 1 : option == COM_PORT ? 2 : -1;
}

} // namespace

NetSerialPort::NetSerialPort(Clock &clock, QObject *parent)
    : SerialPort(parent), m_timeout(clock.createTimer(this)), m_subTimeout(clock.createTimer(this))
{
    connect(m_timeout, &Timer::timeout, this, &NetSerialPort::onTimeout);
    connect(m_subTimeout, &Timer::timeout, this, [this] {
        fail(tr("the server at %1 left a subnegotiation open for %2 s")
                 .arg(m_name)
                 .arg(SubnegotiationTimeoutMs / 1000));
    });
}

NetSerialPort::~NetSerialPort()
{
    dropSocket();
}

bool NetSerialPort::open(const QString &name, const LineSettings &settings)
{
    if (isOpen() && name == m_name) {
        if (settings != m_settings) apply(settings);
        return true;
    }
    close();
    m_name = name;
    m_settings = settings;
    m_error.clear();
    m_address = PortAddress::parse(name);
    if (!m_address.isNetwork()) {
        m_error =
            tr("%1 is not a network address (tcp://host:port or rfc2217://host:port)").arg(name);
        return false;
    }
    m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(kReadBuffer);
    connect(m_socket, &QTcpSocket::connected, this, &NetSerialPort::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetSerialPort::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetSerialPort::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetSerialPort::onSocketError);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        pump();
        emit bytesWritten();
    });
    m_timeout->start(ConnectTimeoutMs);
    m_socket->connectToHost(m_address.host, m_address.port);
    return true;
}

void NetSerialPort::close()
{
    ++m_generation;
    dropSocket();
}

void NetSerialPort::dropSocket()
{
    m_timeout->stop();
    m_subTimeout->stop();
    m_out.clear();
    m_connected = m_ready = m_suspended = false;
    m_decoder.reset();
    std::fill(std::begin(m_we), std::end(m_we), Option::Off);
    std::fill(std::begin(m_they), std::end(m_they), Option::Off);
    if (!m_socket) return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    // It may be the sender of the signal being handled.
    socket->deleteLater();
}

void NetSerialPort::fail(const QString &why)
{
    m_error = why;
    close();
    const quint64 generation = m_generation;
    // Reported from the event loop, as a local port does, so that whoever
    // reacts never runs inside the socket's own notification.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation) emit lost();
        },
        Qt::QueuedConnection);
}

void NetSerialPort::onConnected()
{
    m_connected = true;
    // Socket options take effect only on a connected socket.
    // Lines are short and a machine's handshake is timed in characters:
    // nothing may wait to be coalesced.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBuffer);
#if defined(Q_OS_LINUX)
    // A server that vanishes without a word (unplugged, switched off) is
    // noticed within about half a minute of silence, not hours.
    const int fd = int(m_socket->socketDescriptor());
    const int idle = 10, interval = 5, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
    if (!telnet()) {
        ready();
        return;
    }
    // 8-bit data both ways without Telnet's line conventions, and the
    // serial port option on our side.
    for (const quint8 option : {BINARY, SGA}) {
        sendVerb(WILL, option);
        sendVerb(DO, option);
    }
    sendVerb(WILL, COM_PORT);
    std::fill(std::begin(m_we), std::end(m_we), Option::Asked);
    m_they[0] = m_they[1] = Option::Asked;
}

void NetSerialPort::ready()
{
    m_timeout->stop();
    m_ready = true;
    if (telnet()) sendSettings();
    pump();
}

void NetSerialPort::onTimeout()
{
    if (!isOpen() || m_ready) return;
    fail(m_connected ? tr("the server at %1 did not take up serial port settings (RFC 2217) "
                          "within %2 s")
                           .arg(m_name)
                           .arg(ConnectTimeoutMs / 1000)
                     : tr("the server at %1 did not answer within %2 s")
                           .arg(m_name)
                           .arg(ConnectTimeoutMs / 1000));
}

void NetSerialPort::onSocketError()
{
    QTcpSocket *socket = m_socket;
    if (!socket) return;
    // What the server sent before it closed still counts; the socket holds
    // at most its read buffer of it.
    deliver(socket->readAll());
    if (socket != m_socket) return;
    const auto error = m_socket->error();
    if (!m_connected)
        fail(tr("could not connect to the server at %1: %2").arg(m_name, m_socket->errorString()));
    else if (error == QAbstractSocket::RemoteHostClosedError ||
             error == QAbstractSocket::UnknownSocketError)
        fail(tr("the server at %1 closed the connection").arg(m_name));
    else
        fail(tr("the connection to the server at %1 was lost: %2")
                 .arg(m_name, m_socket->errorString()));
}

void NetSerialPort::onReadyRead()
{
    QTcpSocket *socket = m_socket;
    if (!socket || m_readQueued) return;
    const QByteArray slice = socket->read(kSlice);
    if (socket->bytesAvailable() > 0) {
        m_readQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_readQueued = false;
                onReadyRead();
            },
            Qt::QueuedConnection);
    }
    deliver(slice);
}

void NetSerialPort::deliver(const QByteArray &bytes)
{
    const QByteArray data = telnet() ? parse(bytes) : bytes;
    if (!data.isEmpty()) emit received(data);
}

void NetSerialPort::apply(const LineSettings &settings)
{
    m_settings = settings;
    if (m_ready && telnet()) sendSettings();
}

void NetSerialPort::flush(Direction which)
{
    if (!m_socket) return;
    if (which != Direction::Input) m_out.clear();
    if (which != Direction::Output) {
        // What arrived and was not pushed yet; Telnet commands in it still count.
        const QByteArray stale = m_socket->readAll();
        if (telnet()) parse(stale);
    }
    // The server's own buffers: 1 what it received from the machine, 2 what
    // it has yet to send to it.
    if (m_ready && telnet()) sendPortCommand(PURGE_DATA, QByteArray(1, char(int(which))));
}

bool NetSerialPort::write(const QByteArray &bytes)
{
    if (!m_socket) return false;
    m_out += bytes;
    pump();
    return true;
}

void NetSerialPort::pump()
{
    if (!m_socket || !m_ready || m_suspended || m_out.isEmpty()) return;
    const qint64 room = kChunk - m_socket->bytesToWrite();
    if (room <= 0) return;
    const QByteArray piece = m_out.first(qMin(room, qint64(m_out.size())));
    m_out.remove(0, piece.size());
    m_socket->write(telnet() ? escaped(piece) : piece);
}

qint64 NetSerialPort::bytesToWrite() const
{
    if (!m_socket) return 0;
    qint64 left = m_out.size() + m_socket->bytesToWrite();
#if defined(Q_OS_LINUX)
    int queued = 0;
    const qintptr fd = m_socket->socketDescriptor();
    if (fd >= 0 && ::ioctl(int(fd), SIOCOUTQ, &queued) == 0 && queued > 0) left += queued;
#endif
    return left;
}

QByteArray NetSerialPort::parse(QByteArrayView bytes)
{
    QByteArray data;
    data.reserve(bytes.size());
    // The data up to where the server broke off still counts.
    switch (m_decoder.decode(bytes, data, *this)) {
    case Decoder::Result::Done:
        break;
    case Decoder::Result::Stopped:
        return data;
    case Decoder::Result::TooLong:
        fail(tr("the server at %1 sent a subnegotiation longer than %2 bytes")
                 .arg(m_name)
                 .arg(Decoder::MaxSubnegotiation));
        return data;
    }
    if (!m_decoder.inSubnegotiation())
        m_subTimeout->stop();
    else if (!m_subTimeout->isActive())
        m_subTimeout->start(SubnegotiationTimeoutMs);
    return data;
}

bool NetSerialPort::command(quint8 verb, quint8 option)
{
    const int i = optionIndex(option);
    const bool theirs = verb == WILL || verb == WONT;
    const bool yes = verb == WILL || verb == DO;
    if (i < 0) {
        // Options we do not know are refused; refusals need no answer.
        if (yes) sendVerb(theirs ? DONT : WONT, option);
        return isOpen();
    }
    Option &state = theirs ? m_they[i] : m_we[i];
    if (yes) {
        // An answer to our own request is not answered again.
        if (state == Option::Off) sendVerb(theirs ? DO : WILL, option);
        if (!isOpen()) return false;
        state = Option::On;
        if (!theirs && option == COM_PORT && !m_ready) ready();
        return isOpen();
    }
    if (state == Option::On) sendVerb(theirs ? DONT : WONT, option);
    if (!isOpen()) return false;
    state = Option::Off;
    if (!theirs && option == COM_PORT)
        fail(tr("the server at %1 does not accept serial port settings (RFC 2217)").arg(m_name));
    return isOpen();
}

bool NetSerialPort::subnegotiation(QByteArrayView sub)
{
    // One that opens in the same slice has its own time.
    m_subTimeout->stop();
    if (sub.size() < 2 || quint8(sub[0]) != COM_PORT) return true;
    quint8 command = quint8(sub[1]);
    if (command > SERVER_OFFSET) command -= SERVER_OFFSET;
    // Answers to our settings and line and modem state notifications are
    // taken out of the data and need nothing more.
    if (command == FLOWCONTROL_SUSPEND) {
        m_suspended = true;
    } else if (command == FLOWCONTROL_RESUME) {
        m_suspended = false;
        pump();
    }
    return true;
}

void NetSerialPort::sendVerb(quint8 verb, quint8 option)
{
    const char bytes[] = {char(IAC), char(verb), char(option)};
    send(QByteArray(bytes, sizeof bytes));
}

void NetSerialPort::send(const QByteArray &bytes)
{
    if (!m_socket) return; // failed on an earlier piece
    m_socket->write(bytes);
    // Each request a server makes is answered: one that asks without
    // reading would have the answers pile up here.
    if (m_socket->bytesToWrite() > MaxUnread)
        fail(tr("the server at %1 does not read what the program sends").arg(m_name));
}

void NetSerialPort::sendPortCommand(quint8 command, const QByteArray &value)
{
    QByteArray bytes;
    bytes.append(char(IAC)).append(char(SB)).append(char(COM_PORT)).append(char(command));
    bytes.append(escaped(value)).append(char(IAC)).append(char(SE));
    send(bytes);
}

void NetSerialPort::sendSettings()
{
    const quint32 speed = quint32(qMax(1, m_settings.speed));
    const char speedBytes[] = {char(speed >> 24), char(speed >> 16), char(speed >> 8), char(speed)};
    sendPortCommand(SET_BAUDRATE, QByteArray(speedBytes, 4));
    sendPortCommand(SET_DATASIZE, QByteArray(1, char(m_settings.dataBits)));
    sendPortCommand(SET_PARITY, QByteArray(1, char(kParities[size_t(m_settings.parity)])));
    sendPortCommand(SET_STOPSIZE, QByteArray(1, char(m_settings.stopBits == 2 ? 2 : 1)));
    const Handshake hs = m_settings.handshake;
    // Some servers add a handshake to the one in force instead of replacing
    // it: clear it first.
    sendPortCommand(SET_CONTROL, QByteArray(1, char(NO_FLOW)));
    if (hs != Handshake::None)
        sendPortCommand(SET_CONTROL, QByteArray(1, char(hs == Handshake::XonXoff  ? XON_XOFF
                                                        : hs == Handshake::RtsCts ? HARDWARE_FLOW
                                                                                  : DSR_FLOW)));
    const auto control = [this](quint8 on, quint8 off, bool raised) {
        sendPortCommand(SET_CONTROL, QByteArray(1, char(raised ? on : off)));
    };
    control(DTR_ON, DTR_OFF, hs == Handshake::DtrDsr || m_settings.dtr != HeldLine::Low);
    // Under RTS/CTS the server's port drives RTS itself.
    if (hs != Handshake::RtsCts) control(RTS_ON, RTS_OFF, m_settings.rts != HeldLine::Low);
}
