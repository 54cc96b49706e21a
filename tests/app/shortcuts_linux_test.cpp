#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/shortcuts.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::string Entry(const std::u16string& path) {
  return ReadFileBytes(path).value_or("");
}

TEST(ShortcutsLinux, DesktopEntryLaunchesTheTargetWithTheArguments) {
  const test::TempDir dir;
  const std::u16string target = PathAppend(dir.Join(u"Fern hall"), u"vexa_qmzt.exe");
  const std::u16string link = ShortcutPath(dir.path(), u"VEXA-岚岫奇谭");
  EXPECT_EQ(PathFileName(link), u"VEXA-岚岫奇谭.desktop");
  ASSERT_TRUE(test::WriteShortcut(target, link, u" /C 281 /CC 4%7"));

  const std::string entry = Entry(link);
  const std::string target_utf8 = ToUtf8(target);
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(entry.find("\nName=VEXA-岚岫奇谭\n"), std::string::npos);
  // Quoted so the blank stays inside the program element; % doubled as field codes demand.
  EXPECT_NE(entry.find("\nExec=\"" + target_utf8 + "\" /C 281 /CC 4%%7\n"), std::string::npos);
  EXPECT_NE(entry.find("\nPath=" + ToUtf8(dir.Join(u"Fern hall")) + "\n"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=" + target_utf8 + "\n"), std::string::npos);

  struct stat st {};
  ASSERT_EQ(::stat(ToUtf8(link).c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
}

TEST(ShortcutsLinux, HandWrittenEntriesAreRead) {
  const test::TempDir dir;
  const std::u16string link = dir.Join(u"x.desktop");
  // Another group's Exec does not count; spaces around "=" are allowed; escapes are undone.
  test::WriteTestFile(link,
                      "[Desktop Action New]\nExec=/bin/other /C 1\n"
                      "[Desktop Entry]\nName=x\nExec = \"/opt/a \\\\\"b\\\\\"/run\" /C 5 /CC 6\n");
  EXPECT_EQ(test::ReadShortcutArguments(link), u" /C 5 /CC 6");
  test::WriteTestFile(link, "[Desktop Entry]\nExec=/opt/run /C 7 /CC 8\n");
  EXPECT_EQ(test::ReadShortcutArguments(link), u" /C 7 /CC 8");
  test::WriteTestFile(link, "[Desktop Entry]\nExec=\"/opt/unterminated /C 7\n");
  EXPECT_EQ(test::ReadShortcutArguments(link), u"");
  test::WriteTestFile(link, "[Desktop Entry]\nName=no exec\n");
  EXPECT_EQ(test::ReadShortcutArguments(link), u"");
  EXPECT_EQ(test::ReadShortcutArguments(dir.Join(u"missing.desktop")), u"");
}

TEST(ShortcutsLinux, FoldersFollowTheUserDirectoriesFile) {
  const test::TempDir home;
  const test::ScopedEnv home_env("HOME", ToUtf8(home.path()));
  const test::ScopedEnv config_env("XDG_CONFIG_HOME", std::nullopt);
  const test::ScopedEnv desktop_env("XDG_DESKTOP_DIR", std::nullopt);

  ShortcutFolders folders = UserShortcutFolders();
  EXPECT_EQ(folders.desktop, home.Join(u"Desktop"));
  EXPECT_EQ(folders.startup, PathAppend(home.Join(u".config"), u"autostart"));

  CreateDirectories(home.Join(u".config"));
  test::WriteTestFile(PathAppend(home.Join(u".config"), u"user-dirs.dirs"),
                      "# written by xdg-user-dirs-update\n"
                      "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  EXPECT_EQ(UserShortcutFolders().desktop, home.Join(u"Schreibtisch"));

  const test::TempDir config;
  const test::ScopedEnv config_set("XDG_CONFIG_HOME", ToUtf8(config.path()));
  test::WriteTestFile(config.Join(u"user-dirs.dirs"), "XDG_DESKTOP_DIR=\"/srv/desk\"\n");
  folders = UserShortcutFolders();
  EXPECT_EQ(folders.desktop, u"/srv/desk");
  EXPECT_EQ(folders.startup, config.Join(u"autostart"));
}

TEST(ShortcutsLinux, MissingFolderIsCreated) {
  const test::TempDir dir;
  const std::u16string link = ShortcutPath(PathAppend(dir.Join(u"a"), u"autostart"), u"n");
  ASSERT_TRUE(test::WriteShortcut(dir.Join(u"t"), link, u" /C 1 /CC 2"));
  EXPECT_EQ(test::ReadShortcutArguments(link), u" /C 1 /CC 2");
}

}  // namespace
}  // namespace fernlite
