#include <gtest/gtest.h>

#include <memory>

#include "fakes/test_env.h"
#include "platform/key_value_store.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using test::ScopedEnv;
using test::TempDir;

class KeyValueStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", ToUtf8(dir_.path()));
    DeleteStoreValue(kGroup, u"value");
  }
  void TearDown() override { DeleteStoreValue(kGroup, u"value"); }

  static constexpr char16_t kGroup[] = u"FernliteTestStore";
  TempDir dir_;
  std::unique_ptr<ScopedEnv> env_;
};

TEST_F(KeyValueStoreTest, WrittenTextReadsBackUntilDeleted) {
  EXPECT_EQ(ReadStoreText(kGroup, u"value"), std::nullopt);
  ASSERT_TRUE(WriteStoreText(kGroup, u"value", u"line1\r\nline2"));
  EXPECT_EQ(ReadStoreText(kGroup, u"value"), u"line1\r\nline2");
  ASSERT_TRUE(WriteStoreText(kGroup, u"value", u""));
  EXPECT_EQ(ReadStoreText(kGroup, u"value"), u"");
  EXPECT_TRUE(DeleteStoreValue(kGroup, u"value"));
  EXPECT_EQ(ReadStoreText(kGroup, u"value"), std::nullopt);
  EXPECT_FALSE(DeleteStoreValue(kGroup, u"value"));
}

TEST_F(KeyValueStoreTest, ValueLongerThanTheReadBufferIsAFailure) {
  const std::u16string longest(kStoreValueMaxChars, u'x');
  ASSERT_TRUE(WriteStoreText(kGroup, u"value", longest));
  EXPECT_EQ(ReadStoreText(kGroup, u"value"), longest);
  ASSERT_TRUE(WriteStoreText(kGroup, u"value", longest + u"y"));
  EXPECT_EQ(ReadStoreText(kGroup, u"value"), std::nullopt);
}

}  // namespace
}  // namespace fernlite
