// Sending the install event report and the client activation report, each on
// a thread of its own. The caller owns the returned threads, which join when
// they go; an owner that holds no thread means nothing was started. The
// senders catch everything, write their line and end.
//
// A report that is not answered with 200 leaves one debugger line,
// "upload install information failed result code <result>", and nothing else.
#pragma once
#include <string>

#include "base/guarded_thread.h"
#include "net/transfer_policy.h"
#include "telemetry/activation_report.h"
#include "telemetry/install_report.h"

// The body of a report thread: takes the attempt statistics now, gathers the
// device texts, posts the document to `reportHost` (scheme and host).
void SendInstallReport(const InstallReport& report, const std::string& reportHost,
                       const TransferPolicy& policy);

// Starts SendInstallReport towards Vendor().report. An installer started with
// "-launch-by-channel" (`launchedByChannel`) sends no install report unless
// `force` is set.
GuardedThread StartInstallReport(InstallReport report, bool launchedByChannel, bool force,
                                 const TransferPolicy& policy);

// The body of the activation thread: builds a fresh User-Agent line with the
// language name in the ANSI code page and posts the body to
// `clientServiceHost`. Nothing is sent when the body is empty.
void SendClientActivation(const ClientActivation& activation, const std::string& clientServiceHost,
                          const TransferPolicy& policy);

// Starts SendClientActivation towards Vendor().clientService when
// `activation` has a body. The owner holds no thread when nothing is sent or
// no thread could start (a line says so).
GuardedThread StartClientActivation(ClientActivation activation, const TransferPolicy& policy);
