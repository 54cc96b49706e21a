// What the digest needs from the system: the MD5 of a byte string.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace fernlite {

using Md5Digest = std::array<std::uint8_t, 16>;

struct Md5Platform {
  static constexpr const char* kUnit = "md5";
  // nullopt when the system's digest fails.
  std::function<std::optional<Md5Digest>(std::string_view bytes)> digest;
};

const Md5Platform& NativeMd5Platform();

}  // namespace fernlite
