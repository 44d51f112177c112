// The publisher check's verdict for every status the verification can give,
// with the verification passes stubbed: statuses a test certificate cannot
// produce under Wine (revoked, revocation offline) get the same decision as
// real ones.
#include "install/authenticode_win.h"
// wintrust.h and softpub.h need windows.h first.
#include <gtest/gtest.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const wchar_t kPublisher[] = L"Quorvane Test Publisher";

struct Pass {
  long status;
  std::wstring signer;
};

struct Case {
  const char* name;
  std::vector<Pass> passes;  // what each pass answers, in order
  const wchar_t* publisher;
  PublisherCheck result;
  bool revocationChecked;
  std::vector<bool> asked;  // withRevocation of each pass made
};

TEST(PublisherVerdict, EveryStatusHasItsVerdict) {
  const long ok = 0;
  const Case cases[] = {
      {"valid, our publisher", {{ok, kPublisher}}, kPublisher, PublisherCheck::kOk, true, {true}},
      {"valid, another signer", {{ok, L"Someone Else"}}, kPublisher, PublisherCheck::kForeignSigner, true, {true}},
      {"valid, no publisher accepted", {{ok, kPublisher}}, L"", PublisherCheck::kForeignSigner, true, {true}},
      {"valid, no signer read", {{ok, L""}}, kPublisher, PublisherCheck::kError, true, {true}},
      {"unsigned", {{TRUST_E_NOSIGNATURE, L""}}, kPublisher, PublisherCheck::kUnsigned, true, {true}},
      {"not a program", {{TRUST_E_SUBJECT_FORM_UNKNOWN, L""}}, kPublisher, PublisherCheck::kUnsigned, true, {true}},
      {"tampered", {{TRUST_E_BAD_DIGEST, kPublisher}}, kPublisher, PublisherCheck::kBadDigest, true, {true}},
      {"untrusted root", {{CERT_E_UNTRUSTEDROOT, kPublisher}}, kPublisher, PublisherCheck::kUntrusted, true, {true}},
      {"expired", {{CERT_E_EXPIRED, kPublisher}}, kPublisher, PublisherCheck::kUntrusted, true, {true}},
      {"distrusted", {{TRUST_E_EXPLICIT_DISTRUST, kPublisher}}, kPublisher, PublisherCheck::kUntrusted, true, {true}},
      // Revoked is final: never asked again without revocation.
      {"revoked (chain)", {{CERT_E_REVOKED, kPublisher}}, kPublisher, PublisherCheck::kUntrusted, true, {true}},
      {"revoked (crypt)", {{CRYPT_E_REVOKED, kPublisher}}, kPublisher, PublisherCheck::kUntrusted, true, {true}},
      // A revocation status that cannot be had: asked again without it, and
      // the second answer decides.
      {"revocation offline, then valid",
       {{CRYPT_E_REVOCATION_OFFLINE, L""}, {ok, kPublisher}}, kPublisher, PublisherCheck::kOk, false, {true, false}},
      {"revocation failure, then valid",
       {{CERT_E_REVOCATION_FAILURE, L""}, {ok, kPublisher}}, kPublisher, PublisherCheck::kOk, false, {true, false}},
      {"no revocation check, then another signer",
       {{CRYPT_E_NO_REVOCATION_CHECK, L""}, {ok, L"Someone Else"}}, kPublisher, PublisherCheck::kForeignSigner, false,
       {true, false}},
      {"revocation offline, then untrusted root",
       {{CRYPT_E_REVOCATION_OFFLINE, L""}, {CERT_E_UNTRUSTEDROOT, kPublisher}}, kPublisher, PublisherCheck::kUntrusted,
       false, {true, false}},
      {"revocation offline twice",
       {{CRYPT_E_REVOCATION_OFFLINE, L""}, {CRYPT_E_REVOCATION_OFFLINE, L""}}, kPublisher, PublisherCheck::kError,
       false, {true, false}},
      {"an unknown failure", {{E_FAIL, L""}}, kPublisher, PublisherCheck::kError, true, {true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<bool> asked;
    const PublisherVerdict v = DecidePublisherVerdict(
        [&](bool withRevocation, std::wstring& signer) -> long {
          const Pass& p = c.passes[std::min(asked.size(), c.passes.size() - 1)];
          asked.push_back(withRevocation);
          signer = p.signer;
          return p.status;
        },
        c.publisher);
    EXPECT_EQ(v.result, c.result);
    EXPECT_EQ(v.revocationChecked, c.revocationChecked);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(v.status, asked.empty() ? 0 : c.passes[asked.size() - 1].status) << "the status of the deciding pass";
  }
}

}  // namespace
