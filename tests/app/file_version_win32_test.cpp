#include <gtest/gtest.h>

#include "app/file_version.h"
#include "build_config.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

TEST(VersionResource, LauncherCarriesTheBuildVersion) {
  const std::u16string launcher =
      PathAppend(PathDirectory(PathDirectory(GetModulePath())), u"vexa_qmzt.exe");
  if (!FileExists(launcher)) GTEST_SKIP() << "launcher not built";
  EXPECT_EQ(FileVersionText(launcher), AsciiToU16(build::kVersionText));
}

TEST(VersionResource, ProgramWithoutResourceHasNone) {
  EXPECT_EQ(FileVersionText(GetModulePath()), u"");
}

}  // namespace
}  // namespace fernlite
