#include "identity/cipher.h"

#include <limits>
#include <vector>

#include "identity/base64.h"
#include "identity/cipher_platform.h"
#include "platform/seam.h"

namespace fernlite {
namespace {

constexpr size_t kBlockSize = 8;
constexpr size_t kTripleDesKeySize = 24;

}  // namespace

size_t PaddedCipherLength(size_t plain_length) {
  if (plain_length > std::numeric_limits<size_t>::max() - kBlockSize) return 0;
  return (plain_length + kBlockSize) & ~(kBlockSize - 1);
}

bool CipherArgumentsUsable(CipherDirection direction, const char* key, size_t key_length,
                           const unsigned char* input, size_t input_length, int mode,
                           const unsigned char* output, const size_t* output_length) {
  if (key == nullptr || key_length != kTripleDesKeySize) return false;
  if (mode != kCipherModeCbc && mode != kCipherModeEcb) return false;
  if (output == nullptr || output_length == nullptr) return false;
  if (input == nullptr && input_length != 0) return false;
  if (direction == CipherDirection::kEncrypt) {
    const size_t needed = PaddedCipherLength(input_length);
    return needed != 0 && *output_length >= needed;
  }
  // A padded ciphertext is at least one whole block.
  if (input_length == 0 || input_length % kBlockSize != 0) return false;
  return *output_length >= input_length;
}

bool EncryptWithKeyText(const char* key, size_t key_length, const unsigned char* input,
                        size_t input_length, int mode, unsigned char* output,
                        size_t* output_length) {
  return CipherArgumentsUsable(CipherDirection::kEncrypt, key, key_length, input, input_length,
                               mode, output, output_length) &&
         Platform<CipherPlatform>().transform(CipherDirection::kEncrypt, key, key_length, input,
                                              input_length, mode, output, output_length);
}

bool DecryptWithKeyText(const char* key, size_t key_length, const unsigned char* input,
                        size_t input_length, int mode, unsigned char* output,
                        size_t* output_length) {
  return CipherArgumentsUsable(CipherDirection::kDecrypt, key, key_length, input, input_length,
                               mode, output, output_length) &&
         Platform<CipherPlatform>().transform(CipherDirection::kDecrypt, key, key_length, input,
                                              input_length, mode, output, output_length);
}

std::string EncryptRecordText(std::string_view plain) {
  size_t length = PaddedCipherLength(plain.size());
  if (length == 0) return {};
  std::vector<unsigned char> buffer(length);
  if (!EncryptWithKeyText(kRecordKeyText.data(), kRecordKeyText.size(),
                          reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                          kCipherModeCbc, buffer.data(), &length)) {
    return {};
  }
  return EncodeBase64(std::string_view(reinterpret_cast<const char*>(buffer.data()), length));
}

std::string DecryptRecordText(std::string_view base64) {
  const std::string cipher = DecodeBase64(base64);
  if (cipher.empty()) return {};
  size_t length = PaddedCipherLength(cipher.size());
  if (length == 0) return {};
  std::vector<unsigned char> buffer(length);
  if (!DecryptWithKeyText(kRecordKeyText.data(), kRecordKeyText.size(),
                          reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size(),
                          kCipherModeCbc, buffer.data(), &length)) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(buffer.data()), length);
}

std::string ScrambleReportText(std::string_view text) {
  std::string scrambled(text);
  for (size_t i = 0; i < scrambled.size(); ++i) {
    scrambled[i] = static_cast<char>(static_cast<unsigned char>(scrambled[i]) +
                                     static_cast<unsigned char>(kReportKey[i % kReportKey.size()]));
  }
  return EncodeBase64NoBreaks(scrambled);
}

}  // namespace fernlite
