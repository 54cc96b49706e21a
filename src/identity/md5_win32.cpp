#include <windows.h>
#include <wincrypt.h>

#include "identity/md5_platform.h"

namespace fernlite {
namespace {

std::optional<Md5Digest> Digest(std::string_view bytes) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    return std::nullopt;
  }
  std::optional<Md5Digest> result;
  HCRYPTHASH hash = 0;
  if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
    Md5Digest digest{};
    DWORD length = static_cast<DWORD>(digest.size());
    if (CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                      static_cast<DWORD>(bytes.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &length, 0) && length == digest.size()) {
      result = digest;
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return result;
}

}  // namespace

const Md5Platform& NativeMd5Platform() {
  static const Md5Platform& table = *new Md5Platform{&Digest};
  return table;
}

}  // namespace fernlite
