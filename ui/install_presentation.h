// How the window presents what the install's workers report: the one place
// that knows the progress bar's scale and the failure texts.
//
//   0..70   the full installer's download (bytes / total * 70, truncated)
//   70..99  the full installer's own percentage (v * 0.29 + 70, truncated)
//   100     the full installer has ended (no effect on the bar)
//   101     finished: register the client and show the finished page
//
// Portable; any thread (FailureText reads the text table).
#pragma once
#include <string>

#include "channel/install_events.h"

constexpr unsigned kBarDownloadEnd = 70;
constexpr unsigned kBarInstallerDone = 100;
constexpr unsigned kBarFinished = 101;

// The bar value of a download progress report with a known total (> 0).
unsigned DownloadBarValue(double downloaded, double total);
// The full installer's percentage 0..100 on the bar: 70..99.
unsigned InstallerBarValue(long percent);

// The text the window shows for a failure and sends as the report's error
// module: the installer's own failure message; else the localized
// "tt_downstatus_failed" text, a blank and the last failed download
// attempt's result; else "tt_failed" (the id, which the window translates)
// for an installer that failed; else "" (a download with no attempt at all).
std::wstring FailureText(const InstallFailure& failure);
