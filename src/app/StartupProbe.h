#pragma once

// A measurement hook, inert unless the environment variable MARLUNE_STARTUP_PROBE is set: then the
// program prints one line at the main window's first paint
//   first-paint-ms <milliseconds since the process started> vmhwm-kb <peak resident set>
// to standard output and closes itself at once, as an external close request would.

namespace app {

struct AppOptions;

void InstallStartupProbe(AppOptions& options);

} // namespace app
