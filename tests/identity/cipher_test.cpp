#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "data/cipher_vectors.h"
#include "identity/base64.h"
#include "identity/cipher.h"

namespace fernlite {
namespace {

std::string_view View(vectors::Bytes bytes) {
  return {bytes.data, bytes.size};
}

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

std::string WithoutLineBreaks(std::string text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

TEST(RecordCipher, EncryptsKnownAnswers) {
  for (const auto& vector : vectors::kRecordVectors) {
    SCOPED_TRACE(vector.name);
    EXPECT_EQ(EncryptRecordText(View(vector.plain)), vector.base64);
  }
}

TEST(RecordCipher, DecryptsKnownAnswersWithOrWithoutLineBreaks) {
  for (const auto& vector : vectors::kRecordVectors) {
    SCOPED_TRACE(vector.name);
    EXPECT_EQ(DecryptRecordText(vector.base64), View(vector.plain));
    EXPECT_EQ(DecryptRecordText(WithoutLineBreaks(vector.base64)), View(vector.plain));
  }
}

TEST(RecordCipher, EmptyPlainTextIsOneBlock) {
  const std::string text = EncryptRecordText("");
  ASSERT_EQ(text.size(), 12u);
  EXPECT_EQ(text.find('='), 11u);
  EXPECT_EQ(DecodeBase64(text).size(), 8u);
}

TEST(RecordCipher, DecryptRejectsWhatIsNotAValidCiphertext) {
  EXPECT_EQ(DecryptRecordText(""), "");
  EXPECT_EQ(DecryptRecordText("\r\n=="), "");
  // Seven bytes: not a whole block.
  EXPECT_EQ(DecryptRecordText(EncodeBase64("1234567")), "");
  // A valid ciphertext cut short: by a byte it is no longer whole blocks; by a block, its last
  // block holds record digits where the padding should be.
  const std::string_view cipher_text = vectors::kRecordVectors[6].base64;
  const std::string cipher = DecodeBase64(cipher_text);
  ASSERT_EQ(cipher.size(), 72u);
  EXPECT_EQ(DecryptRecordText(EncodeBase64(std::string_view(cipher).substr(0, 71))), "");
  EXPECT_EQ(DecryptRecordText(EncodeBase64(std::string_view(cipher).substr(0, 64))), "");
  for (const char* text : vectors::kBadPaddingTexts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(DecryptRecordText(text), "");
  }
}

TEST(RecordCipher, RoundTripsAcrossBlockAndLineBoundaries) {
  std::string plain;
  for (int length = 0; length <= 130; ++length) {
    const std::string text = EncryptRecordText(plain);
    ASSERT_FALSE(text.empty()) << length;
    ASSERT_EQ(DecodeBase64(text).size(), PaddedCipherLength(plain.size())) << length;
    ASSERT_EQ(DecryptRecordText(text), plain) << length;
    plain += static_cast<char>(length * 7 + 200);
  }
}

TEST(CipherBuffers, PaddedLengthAlwaysAddsOneToEightBytes) {
  EXPECT_EQ(PaddedCipherLength(0), 8u);
  EXPECT_EQ(PaddedCipherLength(7), 8u);
  EXPECT_EQ(PaddedCipherLength(8), 16u);
  EXPECT_EQ(PaddedCipherLength(63), 64u);
  // The largest length that still has a padded size, and the first that has none.
  const size_t max = static_cast<size_t>(-1);
  EXPECT_EQ(PaddedCipherLength(max - 8), max - 7);
  EXPECT_EQ(PaddedCipherLength(max - 7), 0u);
  EXPECT_EQ(PaddedCipherLength(max), 0u);
}

// The buffer is larger than the stated capacity; whatever lies beyond it must stay untouched.
constexpr unsigned char kGuard = 0xa5;

TEST(CipherBuffers, EncryptNeedsRoomForThePadding) {
  const std::string_view plain = View(vectors::kRecordVectors[6].plain);  // 69 bytes -> 72
  const std::string_view key = kRecordKeyText;
  for (size_t capacity : {size_t{0}, size_t{8}, plain.size(), size_t{71}}) {
    SCOPED_TRACE(capacity);
    std::vector<unsigned char> buffer(128, kGuard);
    size_t length = capacity;
    EXPECT_FALSE(EncryptWithKeyText(key.data(), key.size(), Bytes(plain), plain.size(),
                                    kCipherModeCbc, buffer.data(), &length));
    EXPECT_EQ(length, capacity);
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end(),
                            [](unsigned char b) { return b == kGuard; }));
  }
  std::vector<unsigned char> buffer(128, kGuard);
  size_t length = 72;
  ASSERT_TRUE(EncryptWithKeyText(key.data(), key.size(), Bytes(plain), plain.size(), kCipherModeCbc,
                                 buffer.data(), &length));
  EXPECT_EQ(length, 72u);
  EXPECT_EQ(buffer[72], kGuard);
  EXPECT_EQ(EncodeBase64(std::string_view(reinterpret_cast<const char*>(buffer.data()), length)),
            vectors::kRecordVectors[6].base64);
}

TEST(CipherBuffers, DecryptNeedsRoomForTheCiphertext) {
  const std::string cipher = DecodeBase64(vectors::kRecordVectors[6].base64);  // 72 bytes
  const std::string_view key = kRecordKeyText;
  for (size_t capacity : {size_t{0}, size_t{69}, size_t{71}}) {
    SCOPED_TRACE(capacity);
    std::vector<unsigned char> buffer(128, kGuard);
    size_t length = capacity;
    EXPECT_FALSE(DecryptWithKeyText(key.data(), key.size(), Bytes(cipher), cipher.size(),
                                    kCipherModeCbc, buffer.data(), &length));
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end(),
                            [](unsigned char b) { return b == kGuard; }));
  }
  std::vector<unsigned char> buffer(128, kGuard);
  size_t length = cipher.size();
  ASSERT_TRUE(DecryptWithKeyText(key.data(), key.size(), Bytes(cipher), cipher.size(),
                                 kCipherModeCbc, buffer.data(), &length));
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(buffer.data()), length),
            View(vectors::kRecordVectors[6].plain));
  EXPECT_EQ(buffer[72], kGuard);
}

TEST(CipherArguments, RejectsUnusableKeysModesAndBlocks) {
  const std::string_view plain = "qmzt&281";
  const std::string_view key = kRecordKeyText;
  unsigned char buffer[64];
  size_t length = sizeof buffer;
  // Two-key triple DES and a one-byte-long key are not the record cipher.
  EXPECT_FALSE(EncryptWithKeyText(key.data(), 16, Bytes(plain), plain.size(), kCipherModeCbc,
                                  buffer, &length));
  EXPECT_FALSE(EncryptWithKeyText(key.data(), 25, Bytes(plain), plain.size(), kCipherModeCbc,
                                  buffer, &length));
  EXPECT_FALSE(
      EncryptWithKeyText(nullptr, 24, Bytes(plain), plain.size(), kCipherModeCbc, buffer, &length));
  EXPECT_FALSE(
      EncryptWithKeyText(key.data(), key.size(), Bytes(plain), plain.size(), 0, buffer, &length));
  EXPECT_FALSE(
      EncryptWithKeyText(key.data(), key.size(), Bytes(plain), plain.size(), 3, buffer, &length));
  EXPECT_FALSE(EncryptWithKeyText(key.data(), key.size(), Bytes(plain), plain.size(),
                                  kCipherModeCbc, buffer, nullptr));
  EXPECT_FALSE(
      DecryptWithKeyText(key.data(), key.size(), Bytes(plain), 0, kCipherModeCbc, buffer, &length));
  EXPECT_FALSE(
      DecryptWithKeyText(key.data(), key.size(), Bytes(plain), 7, kCipherModeCbc, buffer, &length));
  EXPECT_EQ(length, sizeof buffer);
}

TEST(CipherModes, EcbGivesTheKnownAnswer) {
  const std::string_view plain = View(vectors::kEcbRecordPlain);
  const std::string_view expected = View(vectors::kEcbRecordCipher);
  const std::string_view key = kRecordKeyText;
  std::vector<unsigned char> buffer(PaddedCipherLength(plain.size()));
  size_t length = buffer.size();
  ASSERT_TRUE(EncryptWithKeyText(key.data(), key.size(), Bytes(plain), plain.size(), kCipherModeEcb,
                                 buffer.data(), &length));
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(buffer.data()), length), expected);

  length = buffer.size();
  ASSERT_TRUE(DecryptWithKeyText(key.data(), key.size(), Bytes(expected), expected.size(),
                                 kCipherModeEcb, buffer.data(), &length));
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(buffer.data()), length), plain);
}

TEST(ReportScrambler, KnownAnswers) {
  for (const auto& vector : vectors::kScrambleVectors) {
    SCOPED_TRACE(vector.scrambled);
    EXPECT_EQ(ScrambleReportText(View(vector.text)), vector.scrambled);
  }
}

TEST(ReportScrambler, AddsTheKeyBytewiseAndWraps) {
  // The eleventh byte gets the key's first character again.
  const std::string bytes = DecodeBase64(ScrambleReportText(std::string(11, '\0')));
  EXPECT_EQ(bytes, std::string(kReportKey) + kReportKey[0]);
  const std::string wrapped = DecodeBase64(ScrambleReportText("\xff"));
  ASSERT_EQ(wrapped.size(), 1u);
  EXPECT_EQ(static_cast<unsigned char>(wrapped[0]), static_cast<unsigned char>('m' - 1));
  EXPECT_EQ(ScrambleReportText(std::string(100, 'x')).find_first_of("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace fernlite
