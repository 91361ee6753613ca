#pragma once

#include "process/exitstatus.h"

#include <QString>
#include <memory>

class ClaimedPort;
class ConfigStore;
class MachineConfig;

// What the command line's forms share. Their exit statuses are the
// program's own (ExitStatus).

// "tavrin: <text>" on standard error; returns `status`.
int fail(int status, const QString &text);
// One line on standard error.
void say(const QString &line);
// True when standard error is a terminal: progress is redrawn in place.
bool onTerminal();
// Ends the command's event loop with `status`, once control is back there.
void quitWith(int status);

// The folder of the configuration file in use: the transfer log and the
// port claims live there.
QString folderOf(const ConfigStore &config);
// A port for `machine`'s device that claims it as `who` ("tavrin send").
std::shared_ptr<ClaimedPort> commandPort(const ConfigStore &config, const QString &who);
// "115200 8N1, Xon/Xoff": the line as `port` has it open, and `machine`'s
// flow control in the panel's words.
QString lineText(const ClaimedPort &port, const MachineConfig &machine);
// Why `port` did not open for `machine`: in use by whom, or the reason.
QString portRefusal(const ClaimedPort &port, const MachineConfig &machine);

// The forms, once their arguments are checked: machine `slot` of `config`.
// `force`: sent even with characters the machine's control refuses.
int runSend(ConfigStore &config, int slot, const QString &file, int fromLine, bool force);
int runReceive(ConfigStore &config, int slot, const QString &file);
