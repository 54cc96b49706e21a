#include <openssl/evp.h>

#include "identity/md5_platform.h"

namespace fernlite {
namespace {

std::optional<Md5Digest> Digest(std::string_view bytes) {
  Md5Digest digest{};
  unsigned int length = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace

const Md5Platform& NativeMd5Platform() {
  static const Md5Platform& table = *new Md5Platform{&Digest};
  return table;
}

}  // namespace fernlite
