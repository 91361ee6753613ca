#include "core/linesettings.h"

#include "core/machine.h"

qint32 LineSettings::speedOf(const QString &stored)
{
    // 150 bit/s is offered by the setup dialog, so it is a speed of its own
    // rather than leaving the port at whatever the previous machine used.
    static const qint32 speeds[] = {150,  300,   600,   1200,  2400,  4800,
                                    9600, 19200, 38400, 57600, 115200};
    for (qint32 s : speeds)
        if (stored == QString::number(s)) return s;
    return 0;
}

LineSettings LineSettings::forMachine(const MachineConfig &m, qint32 previousSpeed)
{
    LineSettings s;
    const qint32 speed = speedOf(m.value(Key::Speed));
    s.speed = speed > 0 ? speed : previousSpeed;
    s.stopBits = m.value(Key::StopBits) == u"1" ? 1 : 2;
    const bool eight = m.value(Key::DataBits) == u"8";
    s.dataBits = eight ? 8 : 7;
    s.parity = eight ? Parity::None : Parity::Even;
    switch (m.flowMode()) {
    case FlowMode::XonXoff:
        s.handshake = Handshake::XonXoff;
        break;
    case FlowMode::RtsCts:
        s.handshake = Handshake::RtsCts;
        break;
    default:
        s.handshake = Handshake::None;
        break;
    }
    return s;
}

QString LineSettings::toString() const
{
    const char *hs = handshake == Handshake::XonXoff  ? " XON/XOFF"
                     : handshake == Handshake::RtsCts ? " RTS/CTS"
                                                      : "";
    return QStringLiteral("%1 %2%3%4%5")
        .arg(speed)
        .arg(dataBits)
        .arg(QChar(parity == Parity::None ? u'N' : u'E'))
        .arg(stopBits)
        .arg(QLatin1String(hs));
}
