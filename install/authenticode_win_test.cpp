// The publisher check on real files: the sample full installer as the build
// signs it (test publisher), as linked (unsigned), signed by a foreign
// certificate, changed by one byte after signing, and cut short. Under Wine
// the chain to a trusted root is not checked (a self-signed test certificate
// passes WinVerifyTrust), so what shows here is the signature's presence, its
// digest and the signer's name.
#include "install/authenticode_win.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "base/text_convert.h"
#include "base/vendor.h"
#include "testing/wine/wine_test_support.h"

namespace {

std::wstring BuildFile(const char* unixPath) { return Utf8ToWide(std::string("Z:") + unixPath); }

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

const std::wstring kTestPublisher = L"Quorvane Test Publisher";
const std::wstring kForeignPublisher = L"Foreign Test Publisher";

class Authenticode : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testsupport::MakeTempFolder(L"authenticode");
    signedBytes = ReadAll(BuildFile(QV_SIGNED_EXE));
    ASSERT_GT(signedBytes.size(), 4096u);
  }
  void TearDown() override { testsupport::RemoveTree(folder); }
  std::wstring Place(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = folder + L"\\" + name;
    EXPECT_TRUE(WriteAll(path, bytes)) << WideToUtf8(path);
    return path;
  }

  std::wstring folder;
  std::string signedBytes;
};

TEST_F(Authenticode, ClassifiesSignedUnsignedTamperedForeignAndCutFiles) {
  std::string tampered = signedBytes;
  tampered[tampered.size() / 2] ^= 0x01;  // in the code, far from the signature at the end
  struct Case {
    const char* name;
    std::wstring path;
    PublisherCheck expected;
    std::wstring signer;
  };
  const Case cases[] = {
      {"signed by the test publisher", Place(L"signed.exe", signedBytes), PublisherCheck::kOk, kTestPublisher},
      {"unsigned", Place(L"unsigned.exe", ReadAll(BuildFile(QV_UNSIGNED_EXE))), PublisherCheck::kUnsigned, L""},
      // (whether the signer is still named for a bad digest is the system's choice)
      {"one byte changed after signing", Place(L"tampered.exe", tampered), PublisherCheck::kBadDigest, L""},
      {"signed by a foreign publisher", Place(L"foreign.exe", ReadAll(BuildFile(QV_FOREIGN_EXE))),
       PublisherCheck::kForeignSigner, kForeignPublisher},
      {"an HTML page", Place(L"page.exe", "<html><body>Please log in</body></html>"), PublisherCheck::kUnsigned,
       L""},
  };
  for (const Case& c : cases) {
    const PublisherVerdict v = VerifyPublisher(c.path, kTestPublisher);
    EXPECT_EQ(v.result, c.expected) << c.name << ": " << PublisherCheckName(v.result) << ", status 0x"
                                    << std::hex << v.status;
    EXPECT_EQ(v.result == PublisherCheck::kOk, v.status == 0 && v.signer == kTestPublisher) << c.name;
    if (!c.signer.empty()) EXPECT_EQ(v.signer, c.signer) << c.name;
    if (c.expected == PublisherCheck::kUnsigned) EXPECT_EQ(v.signer, L"") << c.name;
  }

  // A file cut anywhere is never accepted, whatever WinVerifyTrust calls it.
  for (size_t keep : {signedBytes.size() - 16, signedBytes.size() - 1024, signedBytes.size() / 2}) {
    const PublisherVerdict v =
        VerifyPublisher(Place(L"cut" + std::to_wstring(keep) + L".exe", signedBytes.substr(0, keep)), kTestPublisher);
    EXPECT_NE(v.result, PublisherCheck::kOk) << "cut to " << keep << " bytes";
    EXPECT_NE(v.status, 0) << "cut to " << keep << " bytes";
  }
}

// The name must be the publisher's exactly; the build's own publisher (a test
// build names the test publisher) is the one the set-up's certificate carries.
TEST_F(Authenticode, ComparesTheSignersCommonNameExactly) {
  const std::wstring path = Place(L"signed.exe", signedBytes);
  EXPECT_EQ(VerifyPublisher(path, Utf8ToWide(Vendor().publisher)).result, PublisherCheck::kOk);
  struct Case {
    std::wstring publisher;
    PublisherCheck expected;
  };
  const Case cases[] = {
      {L"quorvane test publisher", PublisherCheck::kForeignSigner},
      {L"Quorvane Test Publisher ", PublisherCheck::kForeignSigner},
      {L"Quorvane Test", PublisherCheck::kForeignSigner},
      {L"", PublisherCheck::kForeignSigner},
      {kTestPublisher, PublisherCheck::kOk},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VerifyPublisher(path, c.publisher).result, c.expected) << "'" << WideToUtf8(c.publisher) << "'";
  // The foreign certificate names our publisher as its organization; only
  // its common name counts.
  const std::wstring foreign = Place(L"foreign.exe", ReadAll(BuildFile(QV_FOREIGN_EXE)));
  EXPECT_EQ(VerifyPublisher(foreign, kTestPublisher).result, PublisherCheck::kForeignSigner);
  EXPECT_EQ(VerifyPublisher(foreign, kForeignPublisher).result, PublisherCheck::kOk);
}

// Held for the check, the file cannot be rewritten, replaced or deleted until
// it is released; the check reads through the held handle.
TEST_F(Authenticode, HeldFileCannotChangeAndIsCheckedThroughTheHandle) {
  const std::wstring path = Place(L"held.exe", signedBytes);
  {
    UniqueHandle held = HoldFileForCheck(path);
    ASSERT_TRUE(held.valid());
    UniqueHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    // Replacing it fails while it is held (Wine says "access denied", as
    // Windows does for a file in use) and succeeds once it is let go, below.
    const std::wstring other = Place(L"other.exe", signedBytes);
    EXPECT_FALSE(MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    const DWORD moveError = GetLastError();
    EXPECT_TRUE(moveError == ERROR_ACCESS_DENIED || moveError == ERROR_SHARING_VIOLATION) << moveError;
    const PublisherVerdict v = VerifyPublisher(path, kTestPublisher, held.get());
    EXPECT_EQ(v.result, PublisherCheck::kOk) << std::hex << v.status;
  }
  EXPECT_TRUE(MoveFileExW((folder + L"\\other.exe").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
      << GetLastError();
  // A held program can be started: its handle is kept until the process runs.
  const std::wstring program = folder + L"\\client.exe";
  ASSERT_TRUE(CopyFileW(BuildFile(QV_MARK_CLIENT).c_str(), program.c_str(), FALSE));
  {
    UniqueHandle held = HoldFileForCheck(program);
    ASSERT_TRUE(held.valid());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_NE(GetFileAttributesW((folder + L"\\started.mark").c_str()), INVALID_FILE_ATTRIBUTES);
  }
  // A writer still open: the file cannot be held (the downloader closes first).
  UniqueHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.valid());
  EXPECT_FALSE(HoldFileForCheck(path).valid());
  writer.reset();
  EXPECT_TRUE(HoldFileForCheck(path).valid());
  // Missing file: an error naming why, never "unsigned" or "ok".
  const PublisherVerdict missing = VerifyPublisher(folder + L"\\missing.exe", kTestPublisher);
  EXPECT_EQ(missing.result, PublisherCheck::kError);
  EXPECT_EQ(missing.status, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace
