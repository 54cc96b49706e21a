// The program's text rule on Windows: bytes in files, in the record and under the link's sign
// are in the calling thread's ANSI code page, which on a Chinese system is GBK (936).
#include <windows.h>

#include <gtest/gtest.h>

#include "fakes/test_env.h"
#include "game/guest_link.h"
#include "identity/user_data.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// The thread speaks Simplified Chinese for the test's duration.
class ChineseThread : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(
        MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT)));
  }
  void TearDown() override { SetThreadLocale(saved_); }
  LCID saved_ = 0;
};

TEST_F(ChineseThread, TextBecomesGbkBytesAndComesBack) {
  EXPECT_EQ(ToAnsi(u"岚岫奇谭"), "\xE1\xB0\xE1\xB6\xC6\xE6\xCC\xB7");
  EXPECT_EQ(FromAnsi("\xE1\xB0\xE1\xB6\xC6\xE6\xCC\xB7"), u"岚岫奇谭");
  EXPECT_EQ(ToAnsi(u"server=3"), "server=3");
}

TEST_F(ChineseThread, TheUserDataFileHoldsGbkBytes) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"qmzt_udata.udat");
  ASSERT_TRUE(WriteUserDataAt(path, u"name=云游客"));
  EXPECT_EQ(ReadFileBytes(path), std::optional<std::string>("name=\xD4\xC6\xD3\xCE\xBF\xCD"));
  EXPECT_EQ(ReadUserDataAt(path), u"name=云游客");
}

TEST_F(ChineseThread, TheLinkIsSignedOverGbkBytes) {
  // MD5 over the GBK bytes of info, time and key; the UTF-8 bytes give another digest.
  EXPECT_EQ(ComputeLinkSign(u"uid=云游客", u"1700000000"), u"6d80b58d037d2f654242ac94565f3b67");
}

}  // namespace
}  // namespace fernlite
