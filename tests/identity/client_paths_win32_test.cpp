#include <gtest/gtest.h>

#include <windows.h>

#include "identity/client_paths.h"

namespace fernlite {
namespace {

TEST(ClientDirsWin32, DriveClientDirIsSystemDriveRoot) {
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  std::u16string drive;
  ASSERT_TRUE(GetDriveClientDir(drive));
  EXPECT_EQ(drive, std::u16string(1, static_cast<char16_t>(system[0])) + u":\\Fernhall");
}

}  // namespace
}  // namespace fernlite
