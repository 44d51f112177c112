// Runs the program's own publisher check on one file and prints its verdict:
//   publisher_probe FILE PUBLISHER  ->  "<result> signer=<common name> status=0x<hex>"
// Exit code 0 when the file is accepted for PUBLISHER, 1 when it is not, 2 on
// a usage error. The release test checks a signed installer with it.
#include <cstdio>
#include <string>

#include "base/text_convert.h"
#include "install/authenticode_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: publisher_probe FILE PUBLISHER\n");
    return 2;
  }
  const PublisherVerdict verdict = VerifyPublisher(argv[1], argv[2]);
  std::printf("%s signer=%s status=0x%08lx\n", PublisherCheckName(verdict.result),
              WideToUtf8(verdict.signer).c_str(), static_cast<unsigned long>(verdict.status));
  return PublisherAccepted(verdict.result) ? 0 : 1;
}
