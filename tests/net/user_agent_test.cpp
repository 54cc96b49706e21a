#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "net/user_agent.h"
#include "net/user_agent_platform.h"

namespace fernlite {
namespace {

// Recorded contents of the four settings keys.
struct RecordedSettings {
  struct Key {
    std::map<std::string, std::string> values;
    std::map<std::string, std::vector<std::string>> subkeys;
  };

  std::map<UaKey, Key> keys;
  std::optional<std::string> browser_user_agent;
  std::optional<OsVersion> os = OsVersion{OsVersion::Family::kWindowsNt, 6, 1, {}};
  int reads = 0;

  bool KeyExists(UaKey key) { return keys.count(key) != 0; }
  std::optional<std::string> Value(UaKey key, std::string_view name) {
    ++reads;
    auto k = keys.find(key);
    if (k == keys.end()) return std::nullopt;
    auto v = k->second.values.find(std::string(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second;
  }
  std::optional<std::vector<std::string>> SubkeyValueNames(UaKey key, std::string_view subkey) {
    auto k = keys.find(key);
    if (k == keys.end()) return std::nullopt;
    auto s = k->second.subkeys.find(std::string(subkey));
    if (s == k->second.subkeys.end()) return std::nullopt;
    return s->second;
  }
  // The settings as the assembly reads them.
  UserAgentPlatform Table() {
    return {[this](UaKey key) { return KeyExists(key); },
            [this](UaKey key, std::string_view name) { return Value(key, name); },
            [this](UaKey key, std::string_view subkey) { return SubkeyValueNames(key, subkey); },
            [this] { return browser_user_agent; }, [this] { return os; }};
  }
};

std::string Assemble(RecordedSettings& settings) {
  auto text = AssembleUserAgent(settings.Table());
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

TEST(UserAgentAssembly, EmptyStoreGivesTheDefaultsAndThePlatform) {
  RecordedSettings settings;
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
  settings.os = std::nullopt;
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Win32)");
  settings.os = OsVersion{OsVersion::Family::kNamed, 6, 12, "Linux"};
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Linux 6.12)");
}

TEST(UserAgentAssembly, PlatformTextFollowsTheVersionFamily) {
  using F = OsVersion::Family;
  EXPECT_EQ(PlatformTextFor(OsVersion{F::kWindows9x, 4, 0, {}}), "Windows 95");
  EXPECT_EQ(PlatformTextFor(OsVersion{F::kWindows9x, 4, 10, {}}), "Windows 98");
  EXPECT_EQ(PlatformTextFor(OsVersion{F::kWindows9x, 4, 90, {}}), "Windows 98");
  EXPECT_EQ(PlatformTextFor(OsVersion{F::kWindowsNt, 10, 0, {}}), "Windows NT 10.0");
  EXPECT_EQ(PlatformTextFor(OsVersion{F::kWindowsNt, 5, 1, {}}), "Windows NT 5.1");
  EXPECT_EQ(PlatformTextFor(OsVersion{F::kOther, 3, 2, {}}), "Windows NT 5.0");
  EXPECT_EQ(PlatformTextFor(std::nullopt), "Win32");
}

TEST(UserAgentAssembly, FieldsComeFromTheUserVersionKeyThenTheMachineVersionKey) {
  RecordedSettings settings;
  settings.keys[UaKey::kMachine50].values = {
      {"", "Mach/1"}, {"Compatible", "mcompat"}, {"Version", "MV 1"}};
  settings.keys[UaKey::kUser50].values = {{"", "User/2"}, {"Compatible", ""}};
  // The keys without 5.0 never supply fields.
  settings.keys[UaKey::kUser].values = {{"Version", "ignored"}};
  settings.keys[UaKey::kMachine].values = {{"", "ignored"}};
  // An empty user value falls through to the machine value.
  EXPECT_EQ(Assemble(settings), "User/2 (mcompat; MV 1; Windows NT 6.1)");

  settings.keys[UaKey::kMachine50].values["Compatible"] = "";
  EXPECT_EQ(Assemble(settings), "User/2 (compatible; MV 1; Windows NT 6.1)");
}

TEST(UserAgentAssembly, PlatformValueWinsEvenWhenEmpty) {
  RecordedSettings settings;
  settings.keys[UaKey::kMachine50].values["Platform"] = "MachinePlat";
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; MachinePlat)");
  settings.keys[UaKey::kUser50].values["Platform"] = "";
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; )");
  // A Platform value under the keys without 5.0 is not looked at.
  RecordedSettings other;
  other.keys[UaKey::kUser].values["Platform"] = "nope";
  EXPECT_EQ(Assemble(other), "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
}

TEST(UserAgentAssembly, TokensNeedTheSubkeyAndABrowserUserAgentThatNamesThem) {
  RecordedSettings settings;
  settings.keys[UaKey::kMachine].subkeys["UA Tokens"] = {"Alpha", "", "Beta", "Gamma", "Delta"};
  settings.browser_user_agent = "X (compatible; Gamma; Alpha; Beta;x Delta;)";
  // Alpha and Gamma appear as " N; "; Beta lacks the blank after the semicolon, Delta the
  // blank before the closing parenthesis. Enumeration order, not the value's order.
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Alpha; Gamma; Windows NT 6.1)");

  // A name longer than 255 bytes ends the enumeration.
  settings.keys[UaKey::kMachine].subkeys["UA Tokens"] = {"Alpha", std::string(256, 'n'), "Gamma"};
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Alpha; Windows NT 6.1)");
  const std::string longest(255, 'n');
  settings.keys[UaKey::kMachine].subkeys["UA Tokens"] = {longest};
  settings.browser_user_agent = " " + longest + "; ";
  EXPECT_EQ(Assemble(settings),
            "Mozilla/4.0 (compatible; MSIE 7.0; " + longest + "; Windows NT 6.1)");

  // The browser value must have 1 to 259 characters.
  settings.keys[UaKey::kMachine].subkeys["UA Tokens"] = {"Alpha"};
  settings.browser_user_agent = " Alpha; " + std::string(251, 'x');
  ASSERT_EQ(settings.browser_user_agent->size(), 259u);
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Alpha; Windows NT 6.1)");
  *settings.browser_user_agent += "x";
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
  settings.browser_user_agent = std::nullopt;
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");

  // Tokens are read from the machine key only.
  RecordedSettings user_only;
  user_only.keys[UaKey::kUser].subkeys["UA Tokens"] = {"Alpha"};
  user_only.browser_user_agent = "a Alpha; b";
  EXPECT_EQ(Assemble(user_only), "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
}

TEST(UserAgentAssembly, PreAndPostPlatformVisitTheKeysInOrder) {
  RecordedSettings settings;
  settings.keys[UaKey::kUser50].subkeys = {{"Pre Platform", {"pre-u50"}},
                                           {"Post Platform", {"post-u50", "compat"}}};
  settings.keys[UaKey::kMachine].subkeys = {{"Pre Platform", {"pre-m", "", "pre-m2"}},
                                            {"Post Platform", {"compat", "post-m"}}};
  settings.keys[UaKey::kUser].subkeys = {{"Post Platform", {"compat", "post-u"}}};
  settings.keys[UaKey::kMachine50].subkeys = {{"Pre Platform", {"pre-m50"}},
                                              {"Post Platform", {"compat"}}};
  // "compat" is dropped under the first two keys and kept under the 5.0 keys.
  EXPECT_EQ(Assemble(settings),
            "Mozilla/4.0 (compatible; MSIE 7.0; pre-m; pre-m2; pre-m50; pre-u50; Windows NT 6.1"
            "; post-m; post-u; compat; post-u50; compat)");
}

TEST(UserAgentAssembly, CompatRuleIsExactAndCaseSensitive) {
  RecordedSettings settings;
  settings.keys[UaKey::kUser].subkeys["Post Platform"] = {"Compat", "compat", "compat2"};
  EXPECT_EQ(Assemble(settings),
            "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; Compat; compat2)");
}

TEST(UserAgentAssembly, AnOverlongPlatformNameEndsOnlyItsOwnSubkey) {
  RecordedSettings settings;
  settings.keys[UaKey::kMachine].subkeys["Pre Platform"] = {"a", std::string(260, 'x'), "b"};
  settings.keys[UaKey::kUser].subkeys["Pre Platform"] = {std::string(259, 'y'), "c"};
  settings.keys[UaKey::kUser50].subkeys["Post Platform"] = {std::string(260, 'z'), "d"};
  settings.keys[UaKey::kMachine50].subkeys["Post Platform"] = {"e"};
  EXPECT_EQ(Assemble(settings), "Mozilla/4.0 (compatible; MSIE 7.0; a; " + std::string(259, 'y') +
                                    "; c; Windows NT 6.1; e)");
}

TEST(GrowableBuffer, GrowsByTheLargerOfTheAppendAnd260) {
  GrowableBuffer buffer;
  EXPECT_EQ(buffer.capacity(), 0u);
  ASSERT_TRUE(buffer.Append(""));
  EXPECT_EQ(buffer.capacity(), 0u);
  ASSERT_TRUE(buffer.Append("abc"));
  EXPECT_EQ(buffer.capacity(), 260u);
  ASSERT_TRUE(buffer.Append(std::string(257, 'd')));  // exactly fills it
  EXPECT_EQ(buffer.capacity(), 260u);
  ASSERT_TRUE(buffer.Append("e"));
  EXPECT_EQ(buffer.capacity(), 520u);
  ASSERT_TRUE(buffer.Append(std::string(1000, 'f')));
  EXPECT_EQ(buffer.capacity(), 1520u);
  EXPECT_EQ(buffer.view(), "abc" + std::string(257, 'd') + "e" + std::string(1000, 'f'));
}

// Allocation that fails after a set number of successes.
int g_allocations_left = 0;
char* LimitedAllocate(size_t bytes) {
  if (g_allocations_left <= 0) return nullptr;
  --g_allocations_left;
  return GrowableBuffer::DefaultAllocate(bytes);
}

TEST(GrowableBuffer, FailedGrowthKeepsTheContent) {
  g_allocations_left = 1;
  GrowableBuffer buffer(&LimitedAllocate);
  ASSERT_TRUE(buffer.Append("abc"));
  EXPECT_FALSE(buffer.Append(std::string(300, 'x')));
  EXPECT_EQ(buffer.view(), "abc");
  EXPECT_EQ(buffer.capacity(), 260u);
}

TEST(UserAgentCache, KeepsTheFirstTextAndNeverCachesTheFallback) {
  RecordedSettings settings;
  // A text longer than 260 bytes needs a second allocation.
  settings.keys[UaKey::kUser50].values["Platform"] = std::string(300, 'p');
  UserAgentCache cache;
  g_allocations_left = 1;
  EXPECT_EQ(cache.Get(settings.Table(), &LimitedAllocate), kFallbackUserAgent);

  g_allocations_left = 100;
  const std::string expected = "Mozilla/4.0 (compatible; MSIE 7.0; " + std::string(300, 'p') + ")";
  EXPECT_EQ(cache.Get(settings.Table(), &LimitedAllocate), expected);

  // Later calls do not read the settings again.
  settings.keys[UaKey::kUser50].values["Platform"] = "changed";
  const int reads = settings.reads;
  EXPECT_EQ(cache.Get(settings.Table()), expected);
  EXPECT_EQ(settings.reads, reads);
}

TEST(UserAgentCache, RacingBuildsAgreeOnOneText) {
  for (int round = 0; round < 20; ++round) {
    UserAgentCache cache;
    std::string results[4];
    std::vector<std::thread> threads;
    for (auto& result : results) {
      threads.emplace_back([&cache, &result] {
        RecordedSettings settings;
        result = cache.Get(settings.Table());
      });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) {
      EXPECT_EQ(result, "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
    }
  }
}

}  // namespace
}  // namespace fernlite
