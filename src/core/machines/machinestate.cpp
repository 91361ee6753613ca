#include "core/machines/machinestate.h"

static QString activityText(const MachineState &s)
{
    using A = MachineState::Activity;
    switch (s.activity) {
    case A::Idle:
    case A::Scanning:
        return {};
    case A::PortMissing:
        return QStringLiteral("Port missing, retrying");
    case A::Listening:
        // A punch that could not be saved is the first thing to know.
        return s.unsaved > 0 ? QStringLiteral("Punch not saved, retrying")
                             : QStringLiteral("Listening");
    case A::Receiving:
        return QStringLiteral("Receiving %1 bytes").arg(s.bytes);
    case A::WaitingToSend:
        return QStringLiteral("Sending soon");
    case A::Sending:
        return QStringLiteral("Sending %1 %").arg(s.percent);
    case A::WaitingForControl:
        return QStringLiteral("Waiting for the control");
    }
    return {};
}

QString stateText(const MachineState &state)
{
    // An attended machine's own transfer shows in the transmit bar and
    // RX-Edit; under its name only what the panel would not show otherwise.
    QString text = state.served ? activityText(state) : QString();
    if (!state.served && state.unsaved > 0) text = QStringLiteral("Punch not saved, retrying");
    if (state.changeWaiting)
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral("New settings when idle");
    return text;
}
