#include <gtest/gtest.h>

#include <string>

#include "app/run_settings.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/raw_http.h"
#include "fakes/test_env.h"
#include "game/guest_link.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// The development platform checks the sign on its own; links the program builds must pass.
class GuestLinkAgainstPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform_.ok());
    override_ =
        std::make_unique<test::ScopedEnv>("FERNLITE_PLATFORM", ToUtf8(platform_.base_url()));
    saved_ = Settings();
    Settings().ChannelID = u"281";
    Settings().SubChannelID = u"407";
  }
  void TearDown() override { Settings() = saved_; }

  test::RawResponse Get(const std::u16string& link) {
    const std::string prefix = ToUtf8(platform_.base_url());
    const std::string url = ToUtf8(link);
    EXPECT_EQ(url.rfind(prefix, 0), 0u) << url;
    const std::string request = "GET " + url.substr(prefix.size()) +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: application/json\r\n"
                                "Connection: close\r\n\r\n";
    return test::ParseRawResponse(test::SendRawHttp(platform_.port(), request).bytes);
  }

  test::DevPlatform platform_;
  std::unique_ptr<test::ScopedEnv> override_;
  RunSettings saved_;
};

TEST_F(GuestLinkAgainstPlatform, ProgramLinkIsAcceptedWithItsValuesDecoded) {
  Settings().UserInfo = u"uid=G-1a2b&nick=云游客&src=281";
  Settings().Ext = u"gid=qmzt&channel=281.407";
  const std::u16string target = u"http://127.0.0.1/pay/?gid=qmzt&sid=3";
  const auto response = Get(BuildGuestLink(target));
  ASSERT_EQ(response.status, 200) << response.body;
  const auto json = test::ParseJson(response.body);
  ASSERT_TRUE(json.has_value()) << response.body;
  EXPECT_EQ(json->Text("userinfo"), "uid=G-1a2b&nick=云游客&src=281");
  EXPECT_EQ(json->Text("ext"), "gid=qmzt&channel=281.407");
  EXPECT_EQ(json->Text("goto"), ToUtf8(target));
  EXPECT_EQ(json->Text("cid"), "281");
  EXPECT_EQ(json->Text("ccid"), "407");
  EXPECT_EQ(json->Text("puid").size(), 32u);

  const auto entries = test::LogEntriesForPath(platform_.LogLines(), "/guest/link.php");
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_NE(entries[0].Find("sign_ok"), nullptr);
  EXPECT_TRUE(entries[0].Find("sign_ok")->boolean);
}

TEST_F(GuestLinkAgainstPlatform, ChangedUserInfoOrTimeIsRefused) {
  Settings().UserInfo = u"uid=G-1a2b";
  const std::u16string link = BuildGuestLink(u"http://127.0.0.1/game/");
  ASSERT_EQ(Get(link).status, 200);

  std::u16string changed_info = link;
  const size_t info = changed_info.find(u"G%2D1a2b");
  ASSERT_NE(info, std::u16string::npos);
  changed_info[info + 7] = u'c';
  EXPECT_EQ(Get(changed_info).status, 403);

  std::u16string changed_time = link;
  const size_t time = changed_time.find(u"&time=") + 6;
  changed_time[time] = changed_time[time] == u'1' ? u'2' : u'1';
  EXPECT_EQ(Get(changed_time).status, 403);
}

TEST_F(GuestLinkAgainstPlatform, EmptyUserInfoGoesWithAnEmptySign) {
  Settings().UserInfo.clear();
  EXPECT_EQ(Get(BuildGuestLink(u"http://127.0.0.1/")).status, 200);
}

}  // namespace
}  // namespace fernlite
