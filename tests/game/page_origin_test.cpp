#include "game/page_origin.h"

#include <gtest/gtest.h>

#include "fakes/test_env.h"
#include "platform/text.h"

namespace fernlite {
namespace {

TEST(WebOrigin, NamesTheOriginAsABrowserDoes) {
  EXPECT_EQ(WebOrigin(u"http://127.0.0.1:8123/guest/c1/?gid=qmzt"), u"http://127.0.0.1:8123");
  EXPECT_EQ(WebOrigin(u"HTTPS://Game.Example.COM/pay/"), u"https://game.example.com");
  EXPECT_EQ(WebOrigin(u"http://game.example.com:80/"), u"http://game.example.com");
  EXPECT_EQ(WebOrigin(u"https://game.example.com:443"), u"https://game.example.com");
  EXPECT_EQ(WebOrigin(u"https://game.example.com:80"), u"https://game.example.com:80");
  EXPECT_EQ(WebOrigin(u"http://h:0080/"), u"http://h");
  EXPECT_EQ(WebOrigin(u"http://[::1]:9/x"), u"http://[::1]:9");
  EXPECT_EQ(WebOrigin(u"http://h?x=1"), u"http://h");
  EXPECT_EQ(WebOrigin(u"http://h#f"), u"http://h");
  // User information is not part of the origin: it cannot dress up another host.
  EXPECT_EQ(WebOrigin(u"http://game.example.com@evil.test/"), u"http://evil.test");
  EXPECT_EQ(WebOrigin(u"http://evil.test\\@game.example.com/"), u"http://evil.test");
}

TEST(WebOrigin, AnythingButAWebAddressHasNone) {
  for (const char16_t* url :
       {u"file:///etc/hostname", u"javascript:alert(1)", u"data:text/html,x", u"about:blank",
        u"ftp://h/", u"http://", u"http:///path", u"http://:80/", u"http://h:x/",
        u"http://h:99999/", u"http://h:123456/", u"http://a b/", u"http://h%2e/", u"", u"//h/",
        u"https://[C:1P:/x", u"http://[]/", u"http://[::1]]:80/", u"http://a]b/"}) {
    EXPECT_EQ(WebOrigin(url), u"") << ToUtf8(url);
    EXPECT_FALSE(IsWebAddress(url)) << ToUtf8(url);
  }
  EXPECT_TRUE(IsWebAddress(u"https://games.example/play?sid=1"));
}

TEST(PlatformAddress, OnlyThePlatformsHostsAndOnlyAtTheTop) {
  test::ScopedEnv platform("FERNLITE_PLATFORM", std::string("http://127.0.0.1:8123/"));
  ASSERT_EQ(PlatformOrigins().size(), 1u);
  EXPECT_TRUE(IsPlatformAddress(u"http://127.0.0.1:8123/guest/c1/?gid=qmzt"));
  EXPECT_TRUE(MayUseBridge(u"http://127.0.0.1:8123/game/?sid=1", true));
  EXPECT_FALSE(MayUseBridge(u"http://127.0.0.1:8123/game/?sid=1", false));
  for (const char16_t* other : {u"http://127.0.0.1:8124/", u"https://127.0.0.1:8123/",
                                u"http://localhost:8123/", u"http://127.0.0.1.evil.test:8123/",
                                u"http://evil.test/?u=http://127.0.0.1:8123/", u"file:///", u""}) {
    EXPECT_FALSE(IsPlatformAddress(other)) << ToUtf8(other);
  }
}

TEST(PlatformAddress, TheBuildsOwnHostsWithoutAnOverride) {
  test::ScopedEnv platform("FERNLITE_PLATFORM", std::nullopt);
  const auto origins = PlatformOrigins();
  ASSERT_FALSE(origins.empty());
  for (const std::u16string& origin : origins) {
    EXPECT_TRUE(IsPlatformAddress(origin + u"/any/page")) << ToUtf8(origin);
  }
  EXPECT_FALSE(IsPlatformAddress(u"http://127.0.0.1:8123/"));
}

}  // namespace
}  // namespace fernlite
