#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "app/self_install.h"
#include "platform/process.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

// The installed copy splits its command line with the shell; quoting must survive that.
TEST(SelfInstallWin32, ShellSplitsTheRelaunchLineBackIntoItsElements) {
  const std::u16string own = u"C:\\Users\\A B\\Downloads\\vexa \"setup\"\\x.exe";
  const std::u16string line = QuoteArgument(u"C:\\Fern hall\\vexa_qmzt.exe") +
                              RelaunchParameters(u" /C 281 /CC 407", own, u"VEXA-岚岫奇谭");
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(W(line), &count);
  ASSERT_NE(argv, nullptr);
  std::vector<std::u16string> elements;
  for (int i = 0; i < count; ++i) elements.push_back(FromWide(argv[i]));
  LocalFree(argv);
  EXPECT_EQ(elements,
            (std::vector<std::u16string>{u"C:\\Fern hall\\vexa_qmzt.exe", u"/C", u"281", u"/CC",
                                         u"407", u"/D", own, u"/IB", u"VEXA-岚岫奇谭"}));
}

}  // namespace
}  // namespace fernlite
