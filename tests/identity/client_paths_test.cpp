#include <gtest/gtest.h>

#include "identity/client_paths.h"
#include "platform/files.h"

namespace fernlite {
namespace {

TEST(PickAppDataDir, FallsBackInOrder) {
  EXPECT_EQ(PickAppDataDir(u"C:\\Users\\a\\AppData\\Roaming", u"C:\\Users\\a", u"Application Data",
                           u"C:\\Program Files"),
            u"C:\\Users\\a\\AppData\\Roaming");
  EXPECT_EQ(PickAppDataDir(std::nullopt, u"/home/a", u"Application Data", u"/opt"),
            PathAppend(u"/home/a", u"Application Data"));
  // No folder and no profile: the last resort is used unchanged.
  EXPECT_EQ(PickAppDataDir(std::nullopt, std::nullopt, u"Application Data", u"C:\\Program Files"),
            u"C:\\Program Files");
  EXPECT_EQ(PickAppDataDir(u"", u"", u"x", std::nullopt), std::nullopt);
}

TEST(PickAppDataDir, OverlongAnswersAreUnusable) {
  const std::u16string too_long(300, u'a');
  EXPECT_EQ(PickAppDataDir(too_long, std::nullopt, u"x", u"/last"), u"/last");
}

TEST(ClientDirs, AppDataClientDirEndsInLarkwayFernhall) {
  std::u16string base, client;
  ASSERT_TRUE(GetAppDataDir(base));
  ASSERT_TRUE(GetAppDataClientDir(client));
  EXPECT_EQ(client, PathAppend(PathAppend(base, u"Larkway"), u"Fernhall"));
  std::u16string drive;
  ASSERT_TRUE(GetDriveClientDir(drive));
  EXPECT_EQ(PathFileName(drive), u"Fernhall");
  EXPECT_NE(drive, client);
}

}  // namespace
}  // namespace fernlite
