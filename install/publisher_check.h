// The outcome of checking a downloaded installer's Authenticode signature
// against the vendor's publisher name. Portable, so the install run and the
// reports can name the outcome on every build; the check itself is
// VerifyPublisher (authenticode_win.h, Windows only).
#pragma once

enum class PublisherCheck {
  kOk,             // a valid signature whose signer's common name is the publisher's
  kUnsigned,       // no signature at all (or not a signable file)
  kBadDigest,      // signed, but the bytes changed after signing (tampered, cut or extended)
  kForeignSigner,  // a valid signature by someone else
  kUntrusted,      // the signer's chain is not trusted, expired or revoked (real Windows)
  kError,          // the check itself failed (file unreadable, system error)
};

// Only kOk may be started.
inline bool PublisherAccepted(PublisherCheck c) { return c == PublisherCheck::kOk; }

// A short English name for logs and the failure report: "ok", "unsigned",
// "bad digest", "foreign signer", "untrusted", "error".
const char* PublisherCheckName(PublisherCheck c);
