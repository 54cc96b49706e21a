// MD5 (RFC 1321), the one digest routine of the program (device identifier, link signing).
#pragma once

#include <string>
#include <string_view>

namespace fernlite {

// 32 lower-case hexadecimal digits ("%02x" per byte); empty when the platform's digest fails.
std::string Md5Hex(std::string_view bytes);

}  // namespace fernlite
