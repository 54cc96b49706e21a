#include <openssl/evp.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "identity/cipher.h"
#include "identity/cipher_platform.h"

namespace fernlite {
namespace {

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

const EVP_CIPHER* CipherForMode(int mode) {
  switch (mode) {
    case kCipherModeCbc: return EVP_des_ede3_cbc();
    case kCipherModeEcb: return EVP_des_ede3_ecb();
    default: return nullptr;
  }
}

bool Transform(CipherDirection direction, const char* key,
               size_t /*key_length: checked, always 24*/, const unsigned char* input,
               size_t input_length, int mode, unsigned char* output, size_t* output_length) {
  const EVP_CIPHER* cipher = CipherForMode(mode);
  constexpr size_t kLargestInput = static_cast<size_t>(std::numeric_limits<int>::max()) - 16;
  if (cipher == nullptr || input_length > kLargestInput) return false;
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
  if (!context) return false;
  const int encrypt = direction == CipherDirection::kEncrypt ? 1 : 0;
  // PKCS#5 padding is OpenSSL's default.
  if (EVP_CipherInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key),
                        reinterpret_cast<const unsigned char*>(kRecordIv.data()), encrypt) != 1) {
    return false;
  }
  // OpenSSL may write up to one block beyond the input length while it works; the caller's
  // buffer only has to hold the result.
  std::vector<unsigned char> result(input_length + 16);
  int written = 0;
  if (EVP_CipherUpdate(context.get(), result.data(), &written, input,
                       static_cast<int>(input_length)) != 1) {
    return false;
  }
  int final_written = 0;
  if (EVP_CipherFinal_ex(context.get(), result.data() + written, &final_written) != 1) {
    return false;
  }
  const size_t total = static_cast<size_t>(written) + static_cast<size_t>(final_written);
  if (total > *output_length) return false;
  if (total != 0) std::memcpy(output, result.data(), total);
  *output_length = total;
  return true;
}

}  // namespace

const CipherPlatform& NativeCipherPlatform() {
  static const CipherPlatform& table = *new CipherPlatform{&Transform};
  return table;
}

}  // namespace fernlite
