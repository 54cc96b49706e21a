#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fakes/test_env.h"
#include "identity/user_data.h"
#include "platform/files.h"

namespace fernlite {
namespace {

using test::TempDir;

TEST(UserData, MissingFileReadsEmptyAndIsCreatedEmpty) {
  TempDir dir;
  const auto path = dir.Join(u"qmzt_udata.udat");
  EXPECT_EQ(ReadUserDataAt(path), u"");
  ASSERT_TRUE(FileExists(path));
  EXPECT_EQ(ReadFileBytes(path).value(), "");
}

TEST(UserData, WriteStoresExactBytesAndReadsBack) {
  TempDir dir;
  const auto path = dir.Join(u"qmzt_udata.udat");
  ASSERT_TRUE(WriteUserDataAt(path, u"server=3;name=Ash"));
  EXPECT_EQ(ReadFileBytes(path).value(), "server=3;name=Ash");  // no BOM, no terminator
  EXPECT_EQ(ReadUserDataAt(path), u"server=3;name=Ash");

  // A shorter text replaces the longer one completely.
  ASSERT_TRUE(WriteUserDataAt(path, u"x"));
  EXPECT_EQ(ReadUserDataAt(path), u"x");

  ASSERT_TRUE(WriteUserDataAt(path, u""));
  EXPECT_EQ(ReadFileBytes(path).value(), "");
}

TEST(UserData, ZeroCharacterEndsTheTextOnRead) {
  TempDir dir;
  const auto path = dir.Join(u"qmzt_udata.udat");
  ASSERT_TRUE(WriteUserDataAt(path, std::u16string(u"ab\0cd", 5)));
  EXPECT_EQ(ReadFileBytes(path).value().size(), 5u);
  EXPECT_EQ(ReadUserDataAt(path), u"ab");
}

TEST(UserData, FailedWriteKeepsEarlierTextAndLeavesNoTemporaries) {
  TempDir dir;
  EXPECT_FALSE(WriteUserDataAt(dir.Join(u"missing-dir") + PathSeparator() + u"u.udat", u"t"));

  const auto path = dir.Join(u"qmzt_udata.udat");
  ASSERT_TRUE(WriteUserDataAt(path, u"first"));
  ASSERT_TRUE(WriteUserDataAt(path, u"second"));
  EXPECT_EQ(ReadUserDataAt(path), u"second");
  // Only the data file itself is left in the directory.
  std::vector<std::filesystem::path> entries(
      std::filesystem::directory_iterator(std::filesystem::path(dir.path())), {});
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].filename().u16string(), u"qmzt_udata.udat");
}

TEST(UserData, PathSitsBesideTheProgram) {
  const auto path = UserDataPath();
  EXPECT_EQ(PathFileName(path), u"qmzt_udata.udat");
  EXPECT_EQ(PathDirectory(path), PathDirectory(GetModulePath()));
}

TEST(DeleteStaleFile, ReportsOnlyWhenAnExistingFileWasDeleted) {
  TempDir dir;
  std::vector<std::u16string> events;
  auto report = [&](std::u16string_view event) { events.emplace_back(event); };

  EXPECT_TRUE(DeleteStaleFile(dir.Join(u"qmzt_mark.mrk"), report));
  EXPECT_TRUE(events.empty());

  const auto path = dir.Join(u"qmzt_mark.mrk");
  test::WriteTestFile(path, "");
  EXPECT_FALSE(DeleteStaleFile(path, report));
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(events, std::vector<std::u16string>{u"46"});
}

TEST(DeleteStaleFile, LockedFileIsKeptWithoutEvent) {
  TempDir dir;
  const auto path = dir.Join(u"qmzt_mark.mrk");
  test::LockedFile held(path);
  ASSERT_TRUE(held.ok());
  int reports = 0;
  EXPECT_FALSE(DeleteStaleFile(path, [&](std::u16string_view) { ++reports; }));
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace fernlite
