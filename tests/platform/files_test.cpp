#include <gtest/gtest.h>

#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using test::TempDir;

TEST(Paths, AppendPutsExactlyOneSeparator) {
  const std::u16string sep(1, PathSeparator());
  EXPECT_EQ(PathAppend(u"a", u"b"), u"a" + sep + u"b");
  EXPECT_EQ(PathAppend(u"a" + sep, u"b"), u"a" + sep + u"b");
  EXPECT_EQ(PathAppend(u"a", sep + u"b"), u"a" + sep + u"b");
  EXPECT_EQ(PathAppend(u"", u"b"), u"b");
  EXPECT_EQ(PathDirectory(u"a" + sep + u"b" + sep + u"c.exe"), u"a" + sep + u"b");
  EXPECT_EQ(PathFileName(u"a" + sep + u"c.exe"), u"c.exe");
  EXPECT_EQ(PathDirectory(u"c.exe"), u"");
}

TEST(Files, AtomicWriteReplacesWholeFile) {
  TempDir dir;
  const auto path = dir.Join(u"data.bin");
  const std::string big(100000, 'q');
  ASSERT_TRUE(WriteFileAtomic(path, big));
  EXPECT_EQ(ReadFileBytes(path), big);
  ASSERT_TRUE(WriteFileAtomic(path, std::string("a\0b", 3)));
  EXPECT_EQ(ReadFileBytes(path), std::string("a\0b", 3));
  EXPECT_FALSE(WriteFileAtomic(dir.Join(u"no") + PathSeparator() + u"x", "x"));
}

TEST(Files, CreateIfMissingHonoursTheSizeLimit) {
  TempDir dir;
  const auto path = dir.Join(u"c.txt");
  EXPECT_EQ(ReadFileCreateIfMissing(path, 4), "");
  EXPECT_TRUE(FileExists(path));
  test::WriteTestFile(path, "12345");
  EXPECT_EQ(ReadFileCreateIfMissing(path, 4), std::nullopt);
  EXPECT_EQ(ReadFileCreateIfMissing(path, 5), "12345");
}

TEST(Files, DirectoriesAreCreatedWithParents) {
  TempDir dir;
  const auto deep = PathAppend(PathAppend(dir.path(), u"Larkway"), u"Fernhall");
  EXPECT_FALSE(DirectoryExists(deep));
  ASSERT_TRUE(CreateDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(CreateDirectories(deep));
}

TEST(Files, NonAsciiNamesWork) {
  TempDir dir;
  const auto path = dir.Join(u"VEXA-\u5c9a\u5cab.txt");
  ASSERT_TRUE(WriteFileAtomic(path, "x"));
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(FileExists(path));
}

TEST(Text, Utf8RoundTripsIncludingSurrogatePairs) {
  const std::u16string text = u"a\u00e9\u5c9a\U0001F600";
  EXPECT_EQ(ToUtf8(text), "a\xc3\xa9\xe5\xb2\x9a\xf0\x9f\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("\xe5\xb2"), u"\ufffd");  // truncated sequence
  EXPECT_TRUE(EqualsNoCase(u"LARKWAY.EXE", u"larkway.exe"));
  EXPECT_FALSE(EqualsNoCase(u"larkway.ex", u"larkway.exe"));
}

}  // namespace
}  // namespace fernlite
