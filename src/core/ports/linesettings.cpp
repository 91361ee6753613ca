#include "core/ports/linesettings.h"

#include "core/config/machineconfig.h"
#include "core/config/vocabulary.h"

qint32 LineSettings::speedOf(const QString &stored)
{
    for (qint32 s : Vocabulary::Speeds)
        if (stored == QString::number(s)) return s;
    return 0;
}

LineSettings LineSettings::forMachine(const MachineConfig &m, qint32 previousSpeed)
{
    LineSettings s;
    const qint32 speed = speedOf(m.value(Key::Speed));
    s.speed = speed > 0 ? speed : previousSpeed;
    s.stopBits = m.value(Key::StopBits) == u"1" ? 1 : 2;
    const Vocabulary::DataFormat &format = Vocabulary::storedDataFormat(m.bytes(Key::DataBits));
    s.dataBits = format.bits;
    s.parity = format.evenParity ? Parity::Even : Parity::None;
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
