#include "install/authenticode_win.h"
// wintrust.h and softpub.h need windows.h first.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace {

// The signer's subject common name from a verification's state; empty when
// no signer certificate was read.
std::wstring SignerCommonName(HANDLE state) {
  CRYPT_PROVIDER_DATA* data = WTHelperProvDataFromStateData(state);
  CRYPT_PROVIDER_SGNR* signer = data ? WTHelperGetProvSignerFromChain(data, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* cert = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
  if (!cert || !cert->pCert) return std::wstring();
  void* oid = const_cast<char*>(szOID_COMMON_NAME);
  const DWORD size = CertGetNameStringW(cert->pCert, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
  if (size <= 1) return std::wstring();
  std::wstring name(size, L'\0');
  CertGetNameStringW(cert->pCert, CERT_NAME_ATTR_TYPE, 0, oid, &name[0], size);
  name.resize(size - 1);
  return name;
}

// One WinVerifyTrust pass over the file; the state is always closed again.
LONG Verify(const std::wstring& path, HANDLE file, DWORD revocation, DWORD providerFlags, std::wstring& signer) {
  WINTRUST_FILE_INFO info = {};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = path.c_str();
  info.hFile = file;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = revocation;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = providerFlags;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE: no interactive user; nothing may ask anyone.
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  signer = data.hWVTStateData ? SignerCommonName(data.hWVTStateData) : std::wstring();
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return status;
}

bool RevocationUnknown(LONG status) {
  return status == static_cast<LONG>(CERT_E_REVOCATION_FAILURE) ||
         status == static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE) ||
         status == static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK);
}

PublisherCheck Classify(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
      return PublisherCheck::kUnsigned;
    case TRUST_E_BAD_DIGEST:
      return PublisherCheck::kBadDigest;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING:
    case CERT_E_WRONG_USAGE:
    case CERT_E_REVOKED:
    case CRYPT_E_REVOKED:
    case TRUST_E_EXPLICIT_DISTRUST:
    case TRUST_E_CERT_SIGNATURE:
    case TRUST_E_SUBJECT_NOT_TRUSTED:
      return PublisherCheck::kUntrusted;
    default:
      return PublisherCheck::kError;
  }
}

}  // namespace

UniqueHandle HoldFileForCheck(const std::wstring& path) {
  return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

PublisherVerdict VerifyPublisher(const std::wstring& path, const std::wstring& publisher, HANDLE held) {
  PublisherVerdict verdict;
  UniqueHandle own;
  if (!held || held == INVALID_HANDLE_VALUE) {
    own = HoldFileForCheck(path);
    if (!own) {
      verdict.status = HRESULT_FROM_WIN32(GetLastError());
      return verdict;
    }
    held = own.get();
  }
  return DecidePublisherVerdict(
      [&](bool withRevocation, std::wstring& signer) -> long {
        return withRevocation
                   ? Verify(path, held, WTD_REVOKE_WHOLECHAIN, WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT, signer)
                   : Verify(path, held, WTD_REVOKE_NONE, 0, signer);
      },
      publisher);
}

PublisherVerdict DecidePublisherVerdict(const std::function<long(bool withRevocation, std::wstring& signer)>& verify,
                                        const std::wstring& publisher) {
  PublisherVerdict verdict;
  verdict.revocationChecked = true;
  LONG status = verify(true, verdict.signer);
  if (RevocationUnknown(status)) {
    verdict.revocationChecked = false;
    status = verify(false, verdict.signer);
  }
  verdict.status = status;
  if (status != 0)
    verdict.result = Classify(status);
  else if (verdict.signer.empty())
    verdict.result = PublisherCheck::kError;
  else if (publisher.empty() || verdict.signer != publisher)
    verdict.result = PublisherCheck::kForeignSigner;
  else
    verdict.result = PublisherCheck::kOk;
  return verdict;
}
