// Opening a web link from an elevated process without handing the browser
// our administrator token: the desktop's own shell (the unelevated explorer
// of the signed-in user) is asked to open it, so the browser runs as the
// user, as it would from a click on the desktop.
#pragma once
#include <string>

// How a link was opened.
enum class ShellOpenRoute {
  kDesktopShell,  // by the desktop's shell, with its token
  kThisProcess,   // by ShellExecuteW here: there is no desktop shell (none runs, or it refused)
  kFailed,        // neither could open it
};

// Opens `target` (a URL or a file) with the "open" verb in a normal window.
// UI thread, COM initialized (single-threaded apartment). Writes one debugger
// line naming the route, never the target's query.
ShellOpenRoute OpenAsDesktopUser(const std::wstring& target);
