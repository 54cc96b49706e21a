#include <gtest/gtest.h>

#include "app/file_version.h"
#include "build_config.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// Every program linked with the version reader carries the note, this test included.
TEST(VersionNoteLinux, OwnExecutableCarriesTheBuildVersion) {
  EXPECT_EQ(FileVersionText(GetModulePath()), AsciiToU16(build::kVersionText));
}

TEST(VersionNoteLinux, LauncherExecutableCarriesIt) {
  const std::u16string launcher =
      PathAppend(PathDirectory(PathDirectory(GetModulePath())), u"vexa_qmzt");
  if (!FileExists(launcher)) GTEST_SKIP() << "launcher not built";
  EXPECT_EQ(FileVersionText(launcher), AsciiToU16(build::kVersionText));
}

TEST(VersionNoteLinux, CopiedNoteTravelsWithTheFile) {
  const auto own = ReadFileBytes(GetModulePath());
  ASSERT_TRUE(own);
  test::TempDir dir;
  test::WriteTestFile(dir.Join(u"copy"), *own);
  EXPECT_EQ(FileVersionText(dir.Join(u"copy")), AsciiToU16(build::kVersionText));
}

}  // namespace
}  // namespace fernlite
