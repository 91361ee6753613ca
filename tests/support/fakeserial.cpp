#include "fakeserial.h"

#include <QMetaObject>

void FakeSerial::deliver(const QByteArray &bytes)
{
    rx += bytes;
    QMetaObject::invokeMethod(
        this, [this] { if (!rx.isEmpty()) emit DataAvailable(); }, Qt::QueuedConnection);
}

void FakeSerial::drain(qint64 n)
{
    if (n < 0 || n > pending)
        n = pending;
    pending -= n;
    if (n > 0)
        emit BytesWritten();
}

void FakeSerial::loseDevice()
{
    if (!opened)
        return;
    opened = false;
    pending = 0;
    log << QStringLiteral("Lost");
    emit Lost();
}

void FakeSerial::setPortName(const QString &name)
{
    Serial::setPortName(name);
    log << QStringLiteral("Port=") + name;
}
void FakeSerial::setBaud(int code)
{
    Serial::setBaud(code);
    log << QStringLiteral("Baud=%1").arg(code);
}
void FakeSerial::setBits(int code)
{
    Serial::setBits(code);
    log << QStringLiteral("Bits=%1").arg(code);
}
void FakeSerial::setParity(int code)
{
    Serial::setParity(code);
    log << QStringLiteral("Parity=%1").arg(code);
}
void FakeSerial::setStop(int code)
{
    Serial::setStop(code);
    log << QStringLiteral("Stop=%1").arg(code);
}
void FakeSerial::setXON(bool on)
{
    Serial::setXON(on);
    log << QStringLiteral("XON=%1").arg(int(on));
}
void FakeSerial::setCTS(bool on)
{
    Serial::setCTS(on);
    log << QStringLiteral("CTS=%1").arg(int(on));
}
void FakeSerial::setDataTerminalReady(bool on)
{
    Serial::setDataTerminalReady(on);
    log << QStringLiteral("DTR=%1").arg(int(on));
}
void FakeSerial::setRequestToSend(bool on)
{
    Serial::setRequestToSend(on);
    log << QStringLiteral("RTS=%1").arg(int(on));
}

bool FakeSerial::Open()
{
    log << QStringLiteral("Open");
    if (openFails)
        return false;
    opened = true;
    return true;
}

void FakeSerial::Close()
{
    log << QStringLiteral("Close");
    opened = false;
}

void FakeSerial::Reset()
{
    log << QStringLiteral("Reset");
}

void FakeSerial::Flush()
{
    log << QStringLiteral("Flush");
    rx.clear();
    pending = 0;
}

bool FakeSerial::Write(const QByteArray &bytes)
{
    if (!opened)
        return false;
    written += bytes;
    pending += bytes.size();
    if (onWrite)
        onWrite(bytes);
    if (autoDrain)
        drain();
    return true;
}

QByteArray FakeSerial::Read(qint64 count)
{
    const QByteArray out = rx.left(count);
    rx.remove(0, out.size());
    return out;
}

QByteArray FakeSerial::ReadAll()
{
    const QByteArray out = rx;
    rx.clear();
    return out;
}
