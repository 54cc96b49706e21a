#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "fakes/test_env.h"
#include "game/guest_link.h"
#include "fakes/fake_platform.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// Expected digests were made outside the program, e.g.
//   printf '%s' 'uid=7788&name=ash17000000005be0a9c41f7d26e8930b4acd17e25f68' | openssl md5
constexpr char16_t kSignUid7788At1700000000[] = u"fd8f55e14d717bb09b23f146e03734d6";
//   printf '%s' 'G-9f3a17000000005be0a9c41f7d26e8930b4acd17e25f68' | openssl md5
constexpr char16_t kSignG9f3aAt1700000000[] = u"2f25e9aa76ab610db11f6b6984cbb8f8";
//   printf '%s' 'uid=游客א17000000005be0a9c41f7d26e8930b4acd17e25f68' | openssl md5
constexpr char16_t kSignMixedScriptsAt1700000000[] = u"4dfbe979881890519a57ad1ac7868208";

GuestLinkValues FixedValues() {
  GuestLinkValues values;
  values.host = u"http://platform.test";
  values.ext = u"s1 vip";
  values.user_info = u"uid=7788&name=ash";
  values.channel_id = u"281";
  values.sub_channel_id = u"407";
  values.device_id = u"0123456789abcdef0123456789abcdef";
  values.time_text = u"1700000000";
  return values;
}

std::u16string QueryValue(const std::u16string& link, std::u16string_view key) {
  const std::u16string needle = u"&" + std::u16string(key) + u"=";
  size_t start = link.find(needle);
  if (start == std::u16string::npos) {
    const std::u16string first = u"?" + std::u16string(key) + u"=";
    start = link.find(first);
    if (start == std::u16string::npos) return u"<absent>";
    start += first.size();
  } else {
    start += needle.size();
  }
  const size_t end = link.find(u'&', start);
  return link.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

// The default browser, recording what it is given.
class RecordingOpener {
 public:
  const std::vector<std::u16string>& opened() const { return browser_.Opened(); }

 private:
  test::FakeBrowser browser_;
};

TEST(PercentEncodeUtf8, EscapesEverythingButAsciiLettersAndDigits) {
  EXPECT_EQ(PercentEncodeUtf8(u"a/b.c?d=1&e=2"), u"a%2Fb%2Ec%3Fd%3D1%26e%3D2");
  EXPECT_EQ(PercentEncodeUtf8(u"a-b_c.d~e f"), u"a%2Db%5Fc%2Ed%7Ee%20f");
  EXPECT_EQ(PercentEncodeUtf8(u"游"), u"%E6%B8%B8");
  EXPECT_EQ(PercentEncodeUtf8(u""), u"");
  EXPECT_EQ(PercentEncodeUtf8(u"AZaz09"), u"AZaz09");
  EXPECT_EQ(PercentEncodeUtf8(u"+%"), u"%2B%25");
  // A character outside the basic plane is one four-byte UTF-8 sequence.
  EXPECT_EQ(PercentEncodeUtf8(u"\U0001F600"), u"%F0%9F%98%80");
  EXPECT_EQ(PercentEncodeUtf8(std::u16string(u"\0\x7f", 2)), u"%00%7F");
}

TEST(TimeText, UnsignedLow32BitsWithoutPadding) {
  EXPECT_EQ(TimeText(1700000000), u"1700000000");  // 2023-11-14 22:13:20 UTC
  EXPECT_EQ(TimeText(0), u"0");
  EXPECT_EQ(TimeText(4294967295LL), u"4294967295");
  EXPECT_EQ(TimeText(4294967296LL + 5), u"5");
  const std::u16string now = CurrentTimeText();
  ASSERT_FALSE(now.empty());
  EXPECT_NE(now.front(), u'0');
  EXPECT_GT(std::stoll(U16ToAscii(now)), 1700000000LL);
}

TEST(ComputeLinkSign, DigestOfUnencodedInfoTimeAndKey) {
  EXPECT_EQ(ComputeLinkSign(u"uid=7788&name=ash", u"1700000000"), kSignUid7788At1700000000);
  EXPECT_EQ(ComputeLinkSign(u"G-9f3a", u"1700000000"), kSignG9f3aAt1700000000);
  EXPECT_NE(ComputeLinkSign(u"G-9f3a", u"1700000001"), kSignG9f3aAt1700000000);
  EXPECT_EQ(ComputeLinkSign(u"", u"1700000000"), u"");
}

TEST(ComputeLinkSign, TextNoAnsiCodePageHoldsIsSignedAsUtf8) {
  // Chinese and Hebrew share no ANSI code page, so no Windows locale can convert this
  // losslessly; Linux signs UTF-8 anyway.
  EXPECT_EQ(ComputeLinkSign(u"uid=游客א", u"1700000000"), kSignMixedScriptsAt1700000000);
}

TEST(BuildGuestLink, ExactTextForFixedValues) {
  EXPECT_EQ(BuildGuestLink(FixedValues(), u"http://game.test/play?a=1&cid=9"),
            u"http://platform.test/guest/link.php?ext=s1%20vip"
            u"&userinfo=uid%3D7788%26name%3Dash&time=1700000000"
            u"&sign=fd8f55e14d717bb09b23f146e03734d6"
            u"&goto=http%3A%2F%2Fgame%2Etest%2Fplay%3Fa%3D1%26cid%3D9"
            u"&cid=281&ccid=407&puid=0123456789abcdef0123456789abcdef");
}

TEST(BuildGuestLink, EmptyUserInfoKeepsAnEmptySign) {
  GuestLinkValues values = FixedValues();
  values.user_info.clear();
  const std::u16string link = BuildGuestLink(values, u"x");
  EXPECT_NE(link.find(u"&userinfo=&time=1700000000&sign=&goto=x&cid="), std::u16string::npos)
      << U16ToAscii(link);
}

TEST(BuildGuestLink, SuffixesCloseTheLinkInOrderWhateverTheValues) {
  GuestLinkValues values = FixedValues();
  values.ext = u"&cid=1&ccid=2&puid=3";
  values.channel_id.clear();
  values.sub_channel_id.clear();
  const std::u16string link =
      BuildGuestLink(values, u"http://game.test/?cid=5&ccid=6&puid=7&cid=8");
  const std::u16string tail = u"&cid=&ccid=&puid=0123456789abcdef0123456789abcdef";
  ASSERT_GE(link.size(), tail.size());
  EXPECT_EQ(link.substr(link.size() - tail.size()), tail) << U16ToAscii(link);
  // Exactly one of each, all three after goto.
  EXPECT_EQ(link.find(u"&cid="), link.rfind(u"&cid="));
  EXPECT_GT(link.find(u"&cid="), link.find(u"&goto="));
}

TEST(BuildPayAddress, ValuesGoInUnencoded) {
  EXPECT_EQ(BuildPayAddress(u"http://h.test", u"qmzt", u"s 7"),
            u"http://h.test/pay/?gid=qmzt&sid=s 7");
  EXPECT_EQ(BuildPayAddress(u"http://h.test", u"qmzt", u""), u"http://h.test/pay/?gid=qmzt&sid=");
}

class GuestLinkActions : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = Settings(); }
  void TearDown() override { Settings() = saved_; }
  RunSettings saved_;
};

TEST_F(GuestLinkActions, LinkFromSettingsIsSignedWithItsOwnTime) {
  Settings().UserInfo = u"G-9f3a";
  Settings().Ext = u"e";
  Settings().ChannelID = u"281";
  Settings().SubChannelID = u"407";
  const std::u16string link = BuildGuestLink(u"http://game.test/");
  EXPECT_EQ(link.rfind(GameHostBase() + u"/guest/link.php?ext=e&userinfo=G%2D9f3a&time=", 0), 0u)
      << U16ToAscii(link);
  const std::u16string time = QueryValue(link, u"time");
  EXPECT_EQ(QueryValue(link, u"sign"), ComputeLinkSign(u"G-9f3a", time));
  EXPECT_EQ(QueryValue(link, u"cid"), u"281");
  EXPECT_EQ(QueryValue(link, u"ccid"), u"407");

  // A later change of the settings shows in the next link at once.
  Settings().UserInfo.clear();
  EXPECT_EQ(QueryValue(BuildGuestLink(u"t"), u"sign"), u"");
}

TEST_F(GuestLinkActions, PlatformOverrideMovesLinkAndPayAddress) {
  test::ScopedEnv platform("FERNLITE_PLATFORM", std::string("http://127.0.0.1:8123/"));
  EXPECT_EQ(GameHostBase(), u"http://127.0.0.1:8123");
  Settings().GameCode = u"qmzt";
  Settings().ServerID = u"3";
  RecordingOpener browser;
  RunPayAction();
  ASSERT_EQ(browser.opened().size(), 1u);
  EXPECT_EQ(browser.opened()[0].rfind(u"http://127.0.0.1:8123/guest/link.php?", 0), 0u);
  EXPECT_EQ(QueryValue(browser.opened()[0], u"goto"),
            u"http%3A%2F%2F127%2E0%2E0%2E1%3A8123%2Fpay%2F%3Fgid%3Dqmzt%26sid%3D3");
}

TEST_F(GuestLinkActions, NewWindowOpensTheGuestLinkAndCancels) {
  Settings().UserInfo = u"G-9f3a";
  RecordingOpener browser;
  EXPECT_TRUE(HandleNewWindowRequest(u"http://game.test/news?id=3"));
  ASSERT_EQ(browser.opened().size(), 1u);
  EXPECT_EQ(QueryValue(browser.opened()[0], u"goto"), u"http%3A%2F%2Fgame%2Etest%2Fnews%3Fid%3D3");
}

TEST_F(GuestLinkActions, APageOpeningWindowsInALoopReachesTheBrowserOnlyAFewTimesASecond) {
  Settings().UserInfo = u"G-9f3a";
  RecordingOpener browser;
  NewWindowLimit limit;
  const auto start = NewWindowLimit::Clock::now();
  using std::chrono::milliseconds;
  for (int i = 0; i < 50; ++i) {
    // Cancelled every time: nothing opens inside the game either.
    EXPECT_TRUE(HandleNewWindowRequest(u"http://game.test/ad", limit, start + milliseconds(i)));
  }
  EXPECT_EQ(browser.opened().size(), kMaxNewWindowsPerSecond);
  // The window slides: a second after the first request there is room again, and only as much
  // as the requests that left it.
  EXPECT_TRUE(HandleNewWindowRequest(u"http://game.test/a", limit, start + milliseconds(1000)));
  EXPECT_TRUE(HandleNewWindowRequest(u"http://game.test/b", limit, start + milliseconds(1000)));
  EXPECT_EQ(browser.opened().size(), kMaxNewWindowsPerSecond + 1);
  // A player clicking links now and then is never held back.
  for (int i = 0; i < 10; ++i) {
    HandleNewWindowRequest(u"http://game.test/n", limit, start + milliseconds(3000 + i * 400));
  }
  EXPECT_EQ(browser.opened().size(), kMaxNewWindowsPerSecond + 11);
}

TEST_F(GuestLinkActions, PayActionSendsThePayAddressThroughTheLink) {
  Settings().GameCode = u"qmzt";
  Settings().ServerID.clear();
  RecordingOpener browser;
  RunPayAction();
  ASSERT_EQ(browser.opened().size(), 1u);
  EXPECT_EQ(QueryValue(browser.opened()[0], u"goto"),
            PercentEncodeUtf8(GameHostBase() + u"/pay/?gid=qmzt&sid="));

  Settings().ServerID = u"12";
  RunPayAction();
  ASSERT_EQ(browser.opened().size(), 2u);
  EXPECT_EQ(QueryValue(browser.opened()[1], u"goto"),
            PercentEncodeUtf8(GameHostBase() + u"/pay/?gid=qmzt&sid=12"));
}

TEST(BindAction, OnlyYesClosesTheGameWindow) {
  test::FakeBrowser question(false);
  int closed = 0;
  EXPECT_FALSE(RunBindAction([&] { ++closed; }));
  EXPECT_EQ(closed, 0);
  question.Answer(true);
  EXPECT_TRUE(RunBindAction([&] { ++closed; }));
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(question.Questions(), 2);
}

}  // namespace
}  // namespace fernlite
