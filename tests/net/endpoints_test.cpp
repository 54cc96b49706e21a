#include <gtest/gtest.h>

#include "build_config.h"
#include "fakes/test_env.h"
#include "net/endpoints.h"

namespace fernlite {
namespace {

TEST(Endpoints, BuiltInHostsUnlessTheEnvironmentNamesAPlatform) {
  {
    test::ScopedEnv none("FERNLITE_PLATFORM", std::nullopt);
    EXPECT_EQ(PlatformOverride(), std::nullopt);
    EXPECT_EQ(PlatformBase(Endpoint::kGame), build::kGameHost);
    EXPECT_EQ(PlatformBase(Endpoint::kStatic), build::kStaticHost);
    EXPECT_EQ(PlatformBase(Endpoint::kDataCollector), build::kDataCollector);
    EXPECT_EQ(PlatformBase(Endpoint::kStatsCollector), build::kStatsCollector);
    EXPECT_EQ(PlatformBase(Endpoint::kPortal), build::kPortalHost);
    EXPECT_EQ(PlatformBase(Endpoint::kForum), build::kForumHost);
  }
  test::ScopedEnv dev("FERNLITE_PLATFORM", std::string("http://127.0.0.1:8123//"));
  EXPECT_EQ(PlatformOverride(), u"http://127.0.0.1:8123//");
  for (Endpoint e : {Endpoint::kGame, Endpoint::kStatic, Endpoint::kDataCollector,
                     Endpoint::kStatsCollector, Endpoint::kPortal, Endpoint::kForum}) {
    EXPECT_EQ(PlatformBase(e), u"http://127.0.0.1:8123");
  }
}

TEST(Endpoints, EmptyOverrideKeepsTheBuiltInHost) {
  EXPECT_EQ(PlatformBase(Endpoint::kForum, u""), build::kForumHost);
  EXPECT_EQ(PlatformBase(Endpoint::kForum, std::nullopt), build::kForumHost);
  EXPECT_EQ(PlatformBase(Endpoint::kForum, u"http://h:1"), u"http://h:1");
}

}  // namespace
}  // namespace fernlite
