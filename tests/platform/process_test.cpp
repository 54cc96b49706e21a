#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::u16string SwapAsciiCase(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    } else if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
  }
  return text;
}

TEST(IsProcessRunning, FindsThisProcessWithoutRegardToCase) {
  const std::u16string own = PathFileName(GetModulePath());
  ASSERT_FALSE(own.empty());
  EXPECT_TRUE(IsProcessRunning(own));
  EXPECT_TRUE(IsProcessRunning(SwapAsciiCase(own)));
  // Names are compared whole.
  EXPECT_FALSE(IsProcessRunning(own.substr(0, own.size() - 1)));
  EXPECT_FALSE(IsProcessRunning(own + u"x"));
}

TEST(IsProcessRunning, UnknownAndEmptyNamesAreNotRunning) {
  EXPECT_FALSE(IsProcessRunning(u"no-such-program-4f2a9c.exe"));
  EXPECT_FALSE(IsProcessRunning(u""));
}

TEST(ProcessArguments, FirstElementIsThisProgram) {
  char name[] = "process_test";
  char first[] = "/C";
  char value[] = "\xE5\xB2\x9A";  // one CJK character in UTF-8
  char* argv[] = {name, first, value, nullptr};
  const auto args = ProcessArguments(3, argv);
  ASSERT_FALSE(args.empty());
  // Windows reads its own command line, Linux the vector it is given; both start with the
  // program.
  EXPECT_TRUE(StartsWithNoCase(PathFileName(args[0]), u"process_test"));
}

}  // namespace
}  // namespace fernlite
