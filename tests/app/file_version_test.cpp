#include "app/file_version.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/test_env.h"

namespace fernlite {
namespace {

using namespace std::string_literals;

TEST(VersionNote, FindsTheMarkedVersionAnywhere) {
  EXPECT_EQ(FindVersionNote("\x7f"
                            "ELF\0\0junk FERNLITE-VERSION:1.2.3.4\0tail"s),
            u"1.2.3.4");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:10.0.65535.07\0"s), u"10.0.65535.7");
  // A copy of the marker without a version (the reader's own) is skipped.
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:\0 FERNLITE-VERSION:2.0.0.9\0"s), u"2.0.0.9");
}

TEST(VersionNote, RefusesMalformedNotes) {
  EXPECT_EQ(FindVersionNote(""), u"");
  EXPECT_EQ(FindVersionNote("no marker here"), u"");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:1.2.3\0"s), u"");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:1.2.3.4.5\0"s), u"");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:1.2..4\0"s), u"");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:1.2.3.4x\0"s), u"");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:1.2.3.65536\0"s), u"");
  EXPECT_EQ(FindVersionNote("FERNLITE-VERSION:1.2.3.4"s), u"");  // cut off before the end
}

TEST(VersionNote, UnreadableFileHasNoVersion) {
  test::TempDir dir;
  EXPECT_EQ(FileVersionText(dir.Join(u"missing.exe")), u"");
  test::WriteTestFile(dir.Join(u"plain.txt"), "just text");
  EXPECT_EQ(FileVersionText(dir.Join(u"plain.txt")), u"");
}

}  // namespace
}  // namespace fernlite
