#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/upgrade_signer_linux.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

constexpr char kName[] = "Larkway Test Signer";

// Certificates made fresh for each run by tests/data/make-upgrade-certs.
class SignerCheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    temp_ = new test::TempDir;
    dir_ = ToUtf8(temp_->path());
    certs_made_ = Run("sh " FERNLITE_TEST_DATA_DIR "/make-upgrade-certs") == 0;
  }
  static void TearDownTestSuite() {
    delete temp_;
    temp_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(certs_made_);
    test::WriteTestFile(Path(u"payload"), std::string(5000, 'P') + "executable bytes");
  }
  static int Run(const std::string& command) {
    return std::system(("cd '" + dir_ + "' && " + command + " >/dev/null 2>&1").c_str());
  }
  static std::u16string Path(std::u16string_view name) { return temp_->Join(name); }
  // Detached DER signature of the payload with the named certificate and key.
  void Sign(const std::string& cert, const std::string& extra = "") {
    ASSERT_EQ(Run("openssl cms -sign -binary -in payload -signer " + cert + ".pem -inkey " + cert +
                  ".key -outform DER -out payload.p7s " + extra),
              0);
  }
  std::optional<std::string> Check(const std::string& ca = "root.pem") {
    return VerifiedSignerName(Path(u"payload"), Path(u"payload.p7s"),
                              ca.empty() ? ca : dir_ + "/" + ca);
  }

  static inline test::TempDir* temp_ = nullptr;
  static inline std::string dir_;
  static inline bool certs_made_ = false;
};

TEST_F(SignerCheck, TrustedCodeSigningSignerGivesItsName) {
  Sign("leaf");
  EXPECT_EQ(Check(), kName);
}

TEST_F(SignerCheck, RefusesSignersNotChainedToATrustedRoot) {
  Sign("leaf");
  EXPECT_EQ(Check(""), std::nullopt) << "the test root is not in the system store";
  Sign("self");
  EXPECT_EQ(Check(), std::nullopt);
  Sign("stray");
  EXPECT_EQ(Check(), std::nullopt);
  Sign("stray", "-certfile stray-root.pem");
  EXPECT_EQ(Check(), std::nullopt);
  Sign("mail");  // trusted chain, but not for code
  EXPECT_EQ(Check(), std::nullopt);
}

TEST_F(SignerCheck, RefusesChangedOrUnsignedFiles) {
  Sign("leaf");
  test::WriteTestFile(Path(u"payload"), std::string(5000, 'P') + "executable bytez");
  EXPECT_EQ(Check(), std::nullopt);
  RemoveFile(Path(u"payload.p7s"));
  EXPECT_EQ(Check(), std::nullopt);
  test::WriteTestFile(Path(u"payload.p7s"), "not a signature");
  EXPECT_EQ(Check(), std::nullopt);
}

}  // namespace
}  // namespace fernlite
