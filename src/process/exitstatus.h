#pragma once

// How every form of the program ends: the window, the service, the command
// line and the simulator. systemd reads them too: the service is not
// restarted after StatusUsage or StatusRefused, which a restart would not
// change.
enum ExitStatus {
    StatusDone = 0,
    // The command line's transfer stopped by SIGINT or SIGTERM; the window
    // or the service refused to start because another Tavrin holds the
    // configuration, or could not go on.
    StatusStopped = 1,
    StatusHeld = 1,
    // Wrong arguments, an unknown machine, a file or configuration that
    // cannot be read, nothing to serve.
    StatusUsage = 2,
    // The port is in use, cannot be opened, or was lost.
    StatusPort = 3,
    // The window or the service found the configuration's lock file not the
    // program's own (another user's, a link, a hard link) and did not start.
    StatusRefused = 4,
};
