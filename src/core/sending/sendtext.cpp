#include "core/sending/sendtext.h"

#include "core/sending/sendtransfer.h"
#include "core/ports/serialport.h"

namespace
{
// "234 of 1999"; after the last line (the run-out) still the last.
QString of(const SendProgress &p)
{
    return QStringLiteral("%1 of %2").arg(qBound(1, p.line, qMax(1, p.lines))).arg(p.lines);
}
} // namespace

namespace SendText
{
QString at(const SendProgress &p)
{
    return QStringLiteral("line ") + of(p);
}

QString status(const SendProgress &p)
{
    const QString of = ::of(p);
    switch (p.wait) {
    case SendWait::MachineFirst:
        return QStringLiteral("Waiting for the machine to ask for the program");
    case SendWait::Pause:
        return QStringLiteral("Paused before line ") + of;
    case SendWait::Xoff:
        return QStringLiteral("Held by the machine (XOFF) at line ") + of;
    case SendWait::Cts:
        return QStringLiteral("Held by the machine (CTS) at line ") + of;
    case SendWait::Dsr:
        return QStringLiteral("Held by the machine (DSR) at line ") + of;
    case SendWait::None:
        break;
    }
    if (p.phase == SendPhase::Clearing) return QStringLiteral("Run-out after line ") + of;
    if (p.phase == SendPhase::Stopping) return QStringLiteral("Stopping at line ") + of;
    const qint64 s = (p.leftMs + 999) / 1000;
    const QString left = s >= 3600 ? QStringLiteral("%1:%2:%3")
                                         .arg(s / 3600)
                                         .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                         .arg(s % 60, 2, 10, QLatin1Char('0'))
                                   : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10,
                                                                             QLatin1Char('0'));
    return QStringLiteral("Line %1, %2 left").arg(of, left);
}

QString ended(SendOutcome outcome, const SendProgress &p)
{
    switch (outcome) {
    case SendOutcome::Completed:
        return QStringLiteral("Sent, %1 lines").arg(p.sent);
    case SendOutcome::Stopped:
        return QStringLiteral("Stopped at ") + at(p);
    case SendOutcome::Failed:
        return QStringLiteral("Failed at ") + at(p);
    case SendOutcome::ControlReset:
    case SendOutcome::ControlAlarm: {
        const QString why = answered(outcome, p);
        return why.front().toUpper() + why.mid(1);
    }
    case SendOutcome::PortLost:
        break;
    }
    return QStringLiteral("Broke off at ") + at(p);
}

QString answered(SendOutcome outcome, const SendProgress &p)
{
    switch (outcome) {
    case SendOutcome::ControlReset:
        return QStringLiteral("the control was reset at ") + at(p);
    case SendOutcome::ControlAlarm:
        return QStringLiteral("the control raised an alarm at ") + at(p);
    default:
        return {};
    }
}

QString lostReason(const SerialPort *port)
{
    const QString why = port ? port->errorString() : QString();
    return why.isEmpty() ? QStringLiteral("the port went away") : why;
}

QString failed(const SendProgress &p, const QString &why)
{
    return QStringLiteral("The send failed at %1: %2.").arg(at(p), why);
}

QString brokeOff(const SendProgress &p, const SerialPort *port)
{
    return QStringLiteral("The send broke off at %1: %2.").arg(at(p), lostReason(port));
}
} // namespace SendText
