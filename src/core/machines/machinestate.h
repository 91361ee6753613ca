#pragma once

#include "core/base/transfer.h"

#include <QString>

// What one machine is doing, as everything that shows it reads it: the
// panel, the service's journal and anything that watches the floor. The
// machine keeps it up to date and says when it changes.
struct MachineState {
    enum class Activity {
        Idle,              // attended, nothing running
        Listening,         // served, waiting for its control
        Receiving,         // bytes so far
        WaitingToSend,     // a served answer's start delay runs
        Sending,           // percent done
        WaitingForControl, // a send waits for the control's DC1 or first byte
        Scanning,          // Port Scan
        PortMissing,       // served, its port cannot be opened: tried again
    };

    MachineId id;
    QString name;
    QString port;
    bool open = false;
    bool served = false;
    Activity activity = Activity::Idle;
    qsizetype bytes = 0;
    int percent = 0;
    // The program a served machine punches, once its first lines name it.
    QString program;
    // Punches that wait to be saved.
    int unsaved = 0;
    // A change of its settings waits for the machine to be idle.
    bool changeWaiting = false;

    bool operator==(const MachineState &) const = default;
};

// The words for a state under a machine's name: "Listening", "Receiving
// 120 bytes", "Sending 37 %", ...; empty for an attended machine at rest.
QString stateText(const MachineState &state);
