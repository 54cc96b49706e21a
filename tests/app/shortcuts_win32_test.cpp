#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/shortcuts.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

struct ComScope {
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
};

TEST(ShortcutsWin32, ShellLinkCarriesTargetArgumentsIconAndWorkingDirectory) {
  const ComScope com;
  const test::TempDir dir;
  const std::u16string target = PathAppend(dir.Join(u"Fern hall"), u"vexa_qmzt.exe");
  CreateDirectories(dir.Join(u"Fern hall"));
  test::WriteTestFile(target, "MZ");
  const std::u16string link = ShortcutPath(dir.path(), u"VEXA-岚岫奇谭");
  EXPECT_EQ(PathFileName(link), u"VEXA-岚岫奇谭.lnk");
  ASSERT_TRUE(test::WriteShortcut(target, link, u" /C 281 /CC 407"));

  IShellLinkW* shell_link = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkW, reinterpret_cast<void**>(&shell_link))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(
      SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  ASSERT_TRUE(SUCCEEDED(file->Load(W(link), STGM_READ)));

  wchar_t text[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(shell_link->GetPath(text, MAX_PATH, nullptr, 0)));
  EXPECT_TRUE(EqualsNoCase(FromWide(text), target)) << ToUtf8(FromWide(text));
  ASSERT_TRUE(SUCCEEDED(shell_link->GetArguments(text, MAX_PATH)));
  EXPECT_EQ(FromWide(text), u" /C 281 /CC 407");
  int icon_index = -1;
  ASSERT_TRUE(SUCCEEDED(shell_link->GetIconLocation(text, MAX_PATH, &icon_index)));
  EXPECT_EQ(icon_index, 1);
  EXPECT_TRUE(EqualsNoCase(FromWide(text), target)) << ToUtf8(FromWide(text));
  ASSERT_TRUE(SUCCEEDED(shell_link->GetWorkingDirectory(text, MAX_PATH)));
  EXPECT_TRUE(EqualsNoCase(FromWide(text), dir.Join(u"Fern hall"))) << ToUtf8(FromWide(text));
  file->Release();
  shell_link->Release();
}

}  // namespace
}  // namespace fernlite
