#include "identity/md5.h"

#include "identity/md5_platform.h"
#include "platform/seam.h"

namespace fernlite {

std::string Md5Hex(std::string_view bytes) {
  const std::optional<Md5Digest> digest = Platform<Md5Platform>().digest(bytes);
  if (!digest) return {};
  constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(32);
  for (const std::uint8_t byte : *digest) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

}  // namespace fernlite
