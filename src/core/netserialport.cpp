#include "core/netserialport.h"

#include "core/clock.h"

#include <QMetaObject>
#include <QTcpSocket>

#if defined(Q_OS_LINUX)
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

namespace
{

// Telnet.
constexpr quint8 SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;
constexpr quint8 BINARY = 0, SGA = 3, COM_PORT = 44;
// COM-PORT-OPTION commands; the server answers each with the code + 100.
constexpr quint8 SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                 SET_CONTROL = 5, FLOWCONTROL_SUSPEND = 8, FLOWCONTROL_RESUME = 9, PURGE_DATA = 12,
                 SERVER_OFFSET = 100;
// SET-CONTROL values.
constexpr quint8 NO_FLOW = 1, XON_XOFF = 2, HARDWARE_FLOW = 3, DTR_ON = 8, RTS_ON = 11;

// Output is handed to the socket in pieces of this size.
constexpr qint64 kChunk = 4096;

// The options we take part in, as indexes into the option states.
int optionIndex(quint8 option)
{
    return option == BINARY ? 0 : option == SGA ? 1 : option == COM_PORT ? 2 : -1;
}

QByteArray escaped(QByteArray bytes)
{
    return bytes.replace(char(IAC), QByteArrayView("\xff\xff", 2));
}

} // namespace

NetSerialPort::NetSerialPort(Clock &clock, QObject *parent)
    : SerialPort(parent), m_timeout(clock.createTimer(this))
{
    connect(m_timeout, &Timer::timeout, this, &NetSerialPort::onTimeout);
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
    // Lines are short and a machine's handshake is timed in characters:
    // nothing may wait to be coalesced.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
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
    m_out.clear();
    m_connected = m_ready = m_suspended = false;
    m_rx = Rx::Data;
    m_sub.clear();
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
    if (!m_socket) return;
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
    if (!socket) return;
    const QByteArray bytes = telnet() ? parse(socket->readAll()) : socket->readAll();
    // The server may have refused us in what was just read.
    if (socket == m_socket && !bytes.isEmpty()) emit received(bytes);
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

QByteArray NetSerialPort::parse(const QByteArray &bytes)
{
    QTcpSocket *socket = m_socket;
    QByteArray data;
    data.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_rx == Rx::Data) {
            // Data runs up to the next IAC, taken whole.
            const qsizetype iac = bytes.indexOf(char(IAC), i);
            data.append(bytes.constData() + i, (iac < 0 ? bytes.size() : iac) - i);
            if (iac < 0) break;
            i = iac;
            m_rx = Rx::Iac;
            continue;
        }
        const char ch = bytes[i];
        const quint8 c = quint8(ch);
        switch (m_rx) {
        case Rx::Data: // taken above
            break;
        case Rx::Iac:
            m_rx = Rx::Data;
            if (c == IAC) {
                data += ch;
            } else if (c == SB) {
                m_sub.clear();
                m_rx = Rx::Sub;
            } else if (c >= WILL && c <= DONT) {
                m_verb = c;
                m_rx = Rx::Verb;
            } // other commands (NOP, GA, ...) carry nothing for us
            break;
        case Rx::Verb:
            m_rx = Rx::Data;
            negotiate(m_verb, c);
            break;
        case Rx::Sub:
            if (c == IAC)
                m_rx = Rx::SubIac;
            else
                m_sub += ch;
            break;
        case Rx::SubIac:
            m_rx = c == IAC ? Rx::Sub : Rx::Data;
            if (c == IAC) m_sub += ch;
            if (c == SE) subnegotiation(m_sub);
            break;
        }
        if (m_socket != socket) return {}; // refused: nothing more counts
    }
    return data;
}

void NetSerialPort::negotiate(quint8 verb, quint8 option)
{
    const int i = optionIndex(option);
    const bool theirs = verb == WILL || verb == WONT;
    const bool yes = verb == WILL || verb == DO;
    if (i < 0) {
        // Options we do not know are refused; refusals need no answer.
        if (yes) sendVerb(theirs ? DONT : WONT, option);
        return;
    }
    Option &state = theirs ? m_they[i] : m_we[i];
    if (yes) {
        // An answer to our own request is not answered again.
        if (state == Option::Off) sendVerb(theirs ? DO : WILL, option);
        state = Option::On;
        if (!theirs && option == COM_PORT && !m_ready) ready();
        return;
    }
    if (state == Option::On) sendVerb(theirs ? DONT : WONT, option);
    state = Option::Off;
    if (!theirs && option == COM_PORT)
        fail(tr("the server at %1 does not accept serial port settings (RFC 2217)").arg(m_name));
}

void NetSerialPort::subnegotiation(const QByteArray &sub)
{
    if (sub.size() < 2 || quint8(sub[0]) != COM_PORT) return;
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
}

void NetSerialPort::sendVerb(quint8 verb, quint8 option)
{
    const char bytes[] = {char(IAC), char(verb), char(option)};
    m_socket->write(bytes, sizeof bytes);
}

void NetSerialPort::sendPortCommand(quint8 command, const QByteArray &value)
{
    QByteArray bytes;
    bytes.append(char(IAC)).append(char(SB)).append(char(COM_PORT)).append(char(command));
    bytes.append(escaped(value)).append(char(IAC)).append(char(SE));
    m_socket->write(bytes);
}

void NetSerialPort::sendSettings()
{
    const quint32 speed = quint32(qMax(1, m_settings.speed));
    const char speedBytes[] = {char(speed >> 24), char(speed >> 16), char(speed >> 8), char(speed)};
    sendPortCommand(SET_BAUDRATE, QByteArray(speedBytes, 4));
    sendPortCommand(SET_DATASIZE, QByteArray(1, char(m_settings.dataBits)));
    sendPortCommand(SET_PARITY, QByteArray(1, m_settings.parity == Parity::Even ? 3 : 1));
    sendPortCommand(SET_STOPSIZE, QByteArray(1, char(m_settings.stopBits == 2 ? 2 : 1)));
    // Some servers add a handshake to the one in force instead of replacing
    // it: clear it first.
    sendPortCommand(SET_CONTROL, QByteArray(1, char(NO_FLOW)));
    if (m_settings.handshake != Handshake::None)
        sendPortCommand(SET_CONTROL, QByteArray(1, char(m_settings.handshake == Handshake::XonXoff
                                                            ? XON_XOFF
                                                            : HARDWARE_FLOW)));
    sendPortCommand(SET_CONTROL, QByteArray(1, char(DTR_ON)));
    // Under RTS/CTS the server's port drives RTS itself.
    if (m_settings.handshake != Handshake::RtsCts)
        sendPortCommand(SET_CONTROL, QByteArray(1, char(RTS_ON)));
}
