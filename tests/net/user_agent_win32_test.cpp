#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "net/user_agent.h"
#include "net/user_agent_platform.h"

namespace fernlite {
namespace {

constexpr char kUser50[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\User Agent";
constexpr char kUser[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent";

bool KeyExists(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void SetValue(const std::string& path, const char* name, const char* value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>(strlen(value) + 1));
  RegCloseKey(key);
}

// Writes recorded settings into the user's keys (only where this prefix has none) and removes
// them afterwards.
class UserAgentRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (KeyExists(kUser50) || KeyExists(kUser)) GTEST_SKIP() << "user agent keys already present";
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kUser50);
    RegDeleteTreeA(HKEY_CURRENT_USER, kUser);
  }
};

TEST_F(UserAgentRegistryTest, ReadsTheUserKeysInTheirOrder) {
  SetValue(kUser50, "Version", "MSIE 9.5");
  SetValue(kUser50, "Platform", "Plat");
  SetValue(std::string(kUser50) + "\\Post Platform", "compat", "");
  SetValue(std::string(kUser) + "\\Post Platform", "compat", "");
  SetValue(std::string(kUser) + "\\Pre Platform", "Pre1", "");

  const UserAgentPlatform& settings = NativeUserAgentPlatform();
  EXPECT_TRUE(settings.key_exists(UaKey::kUser50));
  EXPECT_EQ(settings.value(UaKey::kUser50, "Version"), "MSIE 9.5");
  EXPECT_EQ(settings.value(UaKey::kUser50, "Compatible"), std::nullopt);
  const auto text = AssembleUserAgent(settings);
  ASSERT_TRUE(text);
  // Whatever the machine keys add sits around the user's entries.
  EXPECT_EQ(text->rfind("Mozilla/4.0 (compatible; MSIE 9.5; ", 0), 0u) << *text;
  EXPECT_NE(text->find("Pre1; "), std::string::npos) << *text;
  EXPECT_NE(text->find("Plat"), std::string::npos) << *text;
  EXPECT_NE(text->find("; compat)"), std::string::npos) << *text;
}

TEST(UserAgentOnWindows, EndsWithTheWindowsVersion) {
  const std::string text = GetUserAgent();
  std::printf("user agent: %s\n", text.c_str());
  EXPECT_EQ(text, AssembleUserAgent(NativeUserAgentPlatform()).value_or(""));
  const auto os = NativeUserAgentPlatform().operating_system();
  ASSERT_TRUE(os);
  EXPECT_EQ(os->family, OsVersion::Family::kWindowsNt);
  EXPECT_TRUE(std::regex_search(
      text, std::regex(R"(^Mozilla/4\.0 \(compatible; MSIE 7\.0; .*Windows NT \d+\.\d+.*\)$)")))
      << text;
}

}  // namespace
}  // namespace fernlite
