#include "install/publisher_check.h"

const char* PublisherCheckName(PublisherCheck c) {
  switch (c) {
    case PublisherCheck::kOk:
      return "ok";
    case PublisherCheck::kUnsigned:
      return "unsigned";
    case PublisherCheck::kBadDigest:
      return "bad digest";
    case PublisherCheck::kForeignSigner:
      return "foreign signer";
    case PublisherCheck::kUntrusted:
      return "untrusted";
    case PublisherCheck::kError:
      break;
  }
  return "error";
}
