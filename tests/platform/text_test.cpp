#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace fernlite {
namespace {

TEST(FromUtf8, BrokenSequencesCostOneReplacementAndNothingAfterThem) {
  // A lead byte whose sequence is cut short, in the middle and at the end.
  EXPECT_EQ(FromUtf8("x\xE5"
                     "A"),
            u"x\uFFFDA");
  EXPECT_EQ(FromUtf8("x\xE5\xB2"), u"x\uFFFD");
  EXPECT_EQ(FromUtf8("\xF0\x9F\x98"
                     "A"),
            u"\uFFFDA");
  EXPECT_EQ(FromUtf8("\xE5\xB2\xE5\xB2\x9A"), u"\uFFFD岚");
  // A stray continuation byte and bytes that never start a sequence.
  EXPECT_EQ(FromUtf8("a\x80"
                     "b\xFF"
                     "c"),
            u"a\uFFFDb\uFFFDc");
  // Overlong forms, surrogates and code points beyond the last plane are not characters.
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(FromUtf8, WholeTextRoundTrips) {
  const std::u16string text = u"岚岫奇谭 A\u00e9\U0001F600\U0010FFFF";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

}  // namespace
}  // namespace fernlite
