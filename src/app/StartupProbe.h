#pragma once

// A measurement hook, inert unless the environment variable MARLUNE_STARTUP_PROBE is set: then the
// program prints one line at the main window's first paint
//   first-paint-ms <milliseconds since the process started> vmhwm-kb <peak resident set> at-ms <now>
// to standard output and closes itself at once, as an external close request would. The process's
// start time has the kernel's clock-tick resolution (10 ms); "now" is CLOCK_BOOTTIME in
// milliseconds, for a caller that noted the same clock when it started the process.

namespace app {

struct AppOptions;

void InstallStartupProbe(AppOptions& options);

} // namespace app
