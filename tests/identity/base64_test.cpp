#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "data/cipher_vectors.h"
#include "identity/base64.h"

namespace fernlite {
namespace {

std::string_view View(vectors::Bytes bytes) {
  return {bytes.data, bytes.size};
}

TEST(Base64, EncodesKnownAnswersInBothLayouts) {
  for (const auto& vector : vectors::kBase64Vectors) {
    SCOPED_TRACE(testing::Message() << vector.raw.size << " bytes");
    EXPECT_EQ(EncodeBase64(View(vector.raw)), vector.line_broken);
    EXPECT_EQ(EncodeBase64NoBreaks(View(vector.raw)), vector.no_breaks);
  }
}

TEST(Base64, DecodesBothLayoutsToTheSameBytes) {
  for (const auto& vector : vectors::kBase64Vectors) {
    SCOPED_TRACE(testing::Message() << vector.raw.size << " bytes");
    EXPECT_EQ(DecodeBase64(vector.line_broken), View(vector.raw));
    EXPECT_EQ(DecodeBase64(vector.no_breaks), View(vector.raw));
  }
}

// The line layout around the 57-byte boundary, checked by shape rather than by text.
TEST(Base64, LineLayoutAtLineBoundaries) {
  const std::string bytes(200, '\x5a');
  const std::string at56 = EncodeBase64(std::string_view(bytes).substr(0, 56));
  EXPECT_EQ(at56.size(), 76u);
  EXPECT_EQ(at56.find('\r'), std::string::npos);

  const std::string at57 = EncodeBase64(std::string_view(bytes).substr(0, 57));
  ASSERT_EQ(at57.size(), 78u);
  EXPECT_EQ(at57.substr(76), "\r\n");

  // 64 bytes: a full line, then two groups and the final byte on a 12-character line.
  const std::string at64 = EncodeBase64(std::string_view(bytes).substr(0, 64));
  ASSERT_EQ(at64.size(), 76u + 2u + 12u);
  EXPECT_EQ(at64.substr(76, 2), "\r\n");
  EXPECT_EQ(at64.substr(at64.size() - 2), "==");

  // 58 bytes: the groups fill the line exactly, so the final byte starts a new line.
  const std::string at58 = EncodeBase64(std::string_view(bytes).substr(0, 58));
  EXPECT_EQ(at58.substr(76), "\r\nWg==");

  const std::string at114 = EncodeBase64(std::string_view(bytes).substr(0, 114));
  ASSERT_EQ(at114.size(), 2u * 78u);
  EXPECT_EQ(at114.substr(76, 2), "\r\n");
  EXPECT_EQ(at114.substr(154), "\r\n");
}

TEST(Base64, DecodeSkipsCharactersOutsideTheAlphabet) {
  EXPECT_EQ(DecodeBase64("QUJD"), "ABC");
  EXPECT_EQ(DecodeBase64(" Q U\r\nJ\tD = "), "ABC");
  EXPECT_EQ(DecodeBase64("QU==JD"), "ABC");
  EXPECT_EQ(DecodeBase64("*\xc3\xa9QUJD-_."), "ABC");
  EXPECT_EQ(DecodeBase64("\r\n=="), "");
  EXPECT_EQ(DecodeBase64(""), "");
}

TEST(Base64, DecodeFinalShortGroups) {
  EXPECT_EQ(DecodeBase64("QQ"), "A");
  EXPECT_EQ(DecodeBase64("QUI"), "AB");
  EXPECT_EQ(DecodeBase64("QUJDRA"), "ABCD");
  // A single leftover character carries fewer than eight bits: nothing comes of it.
  EXPECT_EQ(DecodeBase64("QUJDR"), "ABC");
  EXPECT_EQ(DecodeBase64("Q"), "");
  // Alphabet index 63 and 62 at both ends of a group.
  EXPECT_EQ(DecodeBase64("+/+/"), std::string("\xfb\xff\xbf", 3));
}

TEST(Base64, DecodeStopsAtTheFirstZeroCharacter) {
  EXPECT_EQ(DecodeBase64(std::string_view("QUJD\0REVG", 9)), "ABC");
  EXPECT_EQ(DecodeBase64(std::string_view("\0QUJD", 5)), "");
}

TEST(Base64, EveryByteValueRoundTrips) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t length = 0; length <= all.size(); ++length) {
    const std::string_view bytes = std::string_view(all).substr(0, length);
    ASSERT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << length;
    ASSERT_EQ(DecodeBase64(EncodeBase64NoBreaks(bytes)), bytes) << length;
  }
}

TEST(Base64, NoBreaksNeverWrapsLines) {
  const std::string text = EncodeBase64NoBreaks(std::string(1000, '\x01'));
  EXPECT_EQ(text.size(), (1000u + 2u) / 3u * 4u);
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace fernlite
