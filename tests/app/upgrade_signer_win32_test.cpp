#include <windows.h>
// After windows.h:
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/upgrade_signer_win32.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

constexpr char kName[] = "Larkway Test Signer";

// Certificates and signed copies of this test program, made by the host's openssl and
// osslsigncode. The test runs under Wine, which starts host programs and maps the host's
// root as drive Z:.
class AuthenticodeCheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return;
    unix_dir_ = "/tmp/fernlite-signer-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount());
    dir_ = u"Z:" + FromUtf8(unix_dir_);
    for (auto& c : dir_) c = c == u'/' ? u'\\' : c;
    if (!CreateDirectoryW(W(dir_), nullptr)) return;
    if (!CopyFileW(W(GetModulePath()), W(PathAppend(dir_, u"payload.exe")), FALSE)) return;

    const std::string script =
        "cd " + unix_dir_ +
        " && sh " FERNLITE_TEST_DATA_DIR
        "/make-upgrade-certs && "
        "sign() { osslsigncode sign -certs \"$1\" -key \"$2\" -in payload.exe -out \"$3\"; } && "
        "sign leaf.pem leaf.key good.exe && sign self.pem self.key self.exe && "
        "sign stray.pem stray.key stray.exe && cat stray.pem stray-root.pem > stray-chain.pem && "
        "sign stray-chain.pem stray.key stray-chain.exe && sign mail.pem mail.key mail.exe\n"
        "echo $? > script.rc\n";
    test::WriteTestFile(PathAppend(dir_, u"make.sh"), script);
    std::u16string command = u"Z:\\bin\\sh " + FromUtf8(unix_dir_) + u"/make.sh";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, const_cast<wchar_t*>(W(command)), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
      return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Host processes do not report their end to Wine; the script leaves its exit code behind.
    const std::u16string rc = PathAppend(dir_, u"script.rc");
    for (int i = 0; i < 1200 && !FileExists(rc); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto code = ReadFileBytes(rc);
    if (!code || code->rfind("0", 0) != 0) return;

    const auto root = ReadFileBytes(PathAppend(dir_, u"root.der"));
    if (!root) return;
    // The registry part of the user's Root store: Wine's combined Root store keeps additions
    // in memory only.
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                     CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!store) return;
    const BOOL added = CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(root->data()),
        static_cast<DWORD>(root->size()), CERT_STORE_ADD_REPLACE_EXISTING, &root_);
    CertCloseStore(store, 0);
    ready_ = added != FALSE;
  }

  static void TearDownTestSuite() {
    if (root_) CertDeleteCertificateFromStore(root_);  // frees the context too
    root_ = nullptr;
    if (!unix_dir_.empty()) {
      std::u16string command = u"Z:\\bin\\rm -rf " + FromUtf8(unix_dir_);
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION process{};
      if (CreateProcessW(nullptr, const_cast<wchar_t*>(W(command)), nullptr, nullptr, FALSE, 0,
                         nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
      }
    }
  }

  void SetUp() override {
    if (unix_dir_.empty()) GTEST_SKIP() << "needs Wine and the host's openssl/osslsigncode";
    ASSERT_TRUE(ready_) << "certificates or signed files could not be made in " << unix_dir_;
  }

  static std::optional<std::string> Check(std::u16string_view name) {
    return VerifiedSignerName(PathAppend(dir_, name));
  }

  static inline std::string unix_dir_;
  static inline std::u16string dir_;
  static inline PCCERT_CONTEXT root_ = nullptr;
  static inline bool ready_ = false;
};

TEST_F(AuthenticodeCheck, TrustedSignerGivesItsName) {
  EXPECT_EQ(Check(u"good.exe"), kName);
}

TEST_F(AuthenticodeCheck, RefusesUnsignedAndUntrustedSignatures) {
  EXPECT_EQ(Check(u"payload.exe"), std::nullopt);
  EXPECT_EQ(Check(u"self.exe"), std::nullopt);
  EXPECT_EQ(Check(u"stray.exe"), std::nullopt);        // issuer in no store
  EXPECT_EQ(Check(u"stray-chain.exe"), std::nullopt);  // root carried along but not trusted
  EXPECT_EQ(Check(u"mail.exe"), std::nullopt);         // trusted, but not for code
  EXPECT_EQ(Check(u"missing.exe"), std::nullopt);
}

TEST_F(AuthenticodeCheck, RefusesATamperedFile) {
  auto bytes = ReadFileBytes(PathAppend(dir_, u"good.exe"));
  ASSERT_TRUE(bytes);
  ASSERT_GT(bytes->size(), 0x2000u);
  (*bytes)[0x1800] = static_cast<char>((*bytes)[0x1800] ^ 0x5A);
  test::WriteTestFile(PathAppend(dir_, u"tampered.exe"), *bytes);
  EXPECT_EQ(Check(u"tampered.exe"), std::nullopt);
}

}  // namespace
}  // namespace fernlite
