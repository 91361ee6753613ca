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
    s.dataBits = Vocabulary::storedDataBits(m.bytes(Key::DataBits));
    const int parity = Vocabulary::parityIndex(m.bytes(Key::Parity));
    s.parity = Parity(parity >= 0 ? parity : Vocabulary::impliedParity(s.dataBits));
    s.dtr = Vocabulary::heldLine(m.bytes(Key::DtrLine)).line;
    s.rts = Vocabulary::heldLine(m.bytes(Key::RtsLine)).line;
    switch (m.flowMode()) {
    case FlowMode::XonXoff:
        // The port's own handshake would let the output go the moment DC1
        // comes: with a handshake delay the send obeys DC3 and DC1 itself.
        s.handshake =
            leadingNumber(m.value(Key::HandshakeDelay)) > 0 ? Handshake::None : Handshake::XonXoff;
        break;
    case FlowMode::RtsCts:
        s.handshake = Handshake::RtsCts;
        break;
    case FlowMode::DtrDsr:
        s.handshake = Handshake::DtrDsr;
        break;
    default:
        s.handshake = Handshake::None;
        break;
    }
    return s;
}

QString LineSettings::format() const
{
    return QStringLiteral("%1%2%3")
        .arg(dataBits)
        .arg(QLatin1Char(Vocabulary::Parities[size_t(parity)].letter))
        .arg(stopBits);
}

QString LineSettings::toString() const
{
    const char *hs = handshake == Handshake::XonXoff  ? " XON/XOFF"
                     : handshake == Handshake::RtsCts ? " RTS/CTS"
                     : handshake == Handshake::DtrDsr ? " DTR/DSR"
                                                      : "";
    return QStringLiteral("%1 %2%3").arg(speed).arg(format(), QLatin1String(hs));
}
