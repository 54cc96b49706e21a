#include <gtest/gtest.h>

#include "fakes/test_env.h"
#include "identity/client_paths.h"

namespace fernlite {
namespace {

using test::ScopedEnv;

TEST(ClientDirsLinux, FollowXdgDataHomeThenHome) {
  ScopedEnv home("HOME", "/home/player");
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/data/xdg");
    std::u16string dir;
    ASSERT_TRUE(GetAppDataClientDir(dir));
    EXPECT_EQ(dir, u"/data/xdg/Larkway/Fernhall");
  }
  {
    // A relative XDG_DATA_HOME is invalid by the XDG rules and is ignored.
    ScopedEnv xdg("XDG_DATA_HOME", "relative/dir");
    std::u16string dir;
    ASSERT_TRUE(GetAppDataClientDir(dir));
    EXPECT_EQ(dir, u"/home/player/.local/share/Larkway/Fernhall");
  }
  std::u16string drive;
  ASSERT_TRUE(GetDriveClientDir(drive));
  EXPECT_EQ(drive, u"/home/player/Fernhall");
}

TEST(ClientDirsLinux, NoHomeMeansNoClientDir) {
  ScopedEnv home("HOME", std::nullopt);
  ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  std::u16string dir;
  EXPECT_FALSE(GetAppDataClientDir(dir));
  EXPECT_FALSE(GetDriveClientDir(dir));
}

}  // namespace
}  // namespace fernlite
