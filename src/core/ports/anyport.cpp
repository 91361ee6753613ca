#include "core/ports/anyport.h"

#include "core/ports/netserialport.h"
#include "core/ports/portaddress.h"
#include "core/ports/qtserialport.h"

AnyPort::AnyPort(Clock &clock, QObject *parent)
    : SerialPort(parent), m_device(new QtSerialPort(this, clock)),
      m_net(new NetSerialPort(clock, this)), m_active(m_device)
{
    forward(m_device);
    forward(m_net);
}

void AnyPort::forward(SerialPort *port)
{
    // A late word from the port no longer in use is not passed on.
    connect(port, &SerialPort::received, this, [this, port](const QByteArray &bytes) {
        if (port == m_active) emit received(bytes);
    });
    connect(port, &SerialPort::bytesWritten, this, [this, port] {
        if (port == m_active) emit bytesWritten();
    });
    connect(port, &SerialPort::lost, this, [this, port] {
        if (port == m_active) emit lost();
    });
    connect(port, &SerialPort::inputLinesChanged, this, [this, port] {
        if (port == m_active) emit inputLinesChanged();
    });
}

bool AnyPort::open(const QString &name, const LineSettings &settings)
{
    SerialPort *wanted = PortAddress::parse(name).kind == PortAddress::Kind::Device
                             ? static_cast<SerialPort *>(m_device)
                             : m_net;
    if (wanted != m_active) {
        m_active->watchInputLines(false);
        m_active->close();
        m_active = wanted;
    }
    return m_active->open(name, settings);
}

void AnyPort::close()
{
    m_active->close();
}

bool AnyPort::isOpen() const
{
    return m_active->isOpen();
}

QString AnyPort::name() const
{
    return m_active->name();
}

void AnyPort::apply(const LineSettings &settings)
{
    m_active->apply(settings);
}

LineSettings AnyPort::settings() const
{
    return m_active->settings();
}

void AnyPort::flush(Direction which)
{
    m_active->flush(which);
}

bool AnyPort::write(const QByteArray &bytes)
{
    return m_active->write(bytes);
}

qint64 AnyPort::bytesToWrite() const
{
    return m_active->bytesToWrite();
}

bool AnyPort::canChangeSettings() const
{
    return m_active->canChangeSettings();
}

QString AnyPort::errorString() const
{
    return m_active->errorString();
}

bool AnyPort::cts() const
{
    return m_active->cts();
}

bool AnyPort::dsr() const
{
    return m_active->dsr();
}

void AnyPort::watchInputLines(bool on)
{
    m_active->watchInputLines(on);
}
