// The publisher check of a downloaded installer before it is started with the
// stub's (elevated) rights: a valid Authenticode signature whose signer's
// subject common name is the vendor's publisher name (Vendor().publisher).
// Windows only; any thread; blocks for as long as the revocation look-up takes.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "base/win_handle.h"
#include "install/publisher_check.h"

struct PublisherVerdict {
  PublisherCheck result = PublisherCheck::kError;
  // What WinVerifyTrust returned (0 for a valid signature), or the opening
  // error as an HRESULT: the code a failure report carries.
  long status = 0;
  // The signer's subject common name, when a signature could be read (also
  // for a foreign or untrusted signer); empty otherwise.
  std::wstring signer;
  // False when the revocation status could not be obtained (no network, no
  // revocation server named) and the check went on without it.
  bool revocationChecked = false;
};

// Opens `path` for reading while shutting out writers and deleters, so the
// bytes checked are the bytes started: keep the handle until the process has
// been created (CreateProcess may open the file for reading meanwhile). Fails
// (invalid handle, GetLastError set) while another handle may still write the
// file, so a downloader must close its file first.
UniqueHandle HoldFileForCheck(const std::wstring& path);

// Checks the signature of the file at `path` (WinVerifyTrust, generic verify
// action, no UI) and compares the signer's subject common name with
// `publisher`, exactly (an empty `publisher` accepts nobody). Reads through
// `held` when given (a handle from HoldFileForCheck), otherwise holds the file
// itself for the duration of the check.
//
// Revocation "as the network allows": the whole chain but the root is checked
// online first; a revoked certificate is always rejected (kUntrusted), while a
// status that cannot be obtained (offline, no revocation server) is tolerated:
// the check is repeated without revocation and `revocationChecked` is false.
// Only kOk may be started.
PublisherVerdict VerifyPublisher(const std::wstring& path, const std::wstring& publisher,
                                 HANDLE held = nullptr);

// The verdict from the verification passes alone, as VerifyPublisher reaches
// it: `verify(true, signer)` is the pass with revocation, `verify(false,
// signer)` the one without, each returning WinVerifyTrust's status and setting
// the signer's common name. Separate so that every status can be tested.
PublisherVerdict DecidePublisherVerdict(const std::function<long(bool withRevocation, std::wstring& signer)>& verify,
                                        const std::wstring& publisher);
