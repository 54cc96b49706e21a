#include "identity/base64.h"

#include <algorithm>
#include <cstdint>

namespace fernlite {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kGroupsPerLine = 19;

uint8_t Byte(std::string_view bytes, size_t index) {
  return static_cast<uint8_t>(bytes[index]);
}

void AppendGroup(std::string& out, std::string_view bytes, size_t at) {
  const uint32_t value = (uint32_t{Byte(bytes, at)} << 16) | (uint32_t{Byte(bytes, at + 1)} << 8) |
                         Byte(bytes, at + 2);
  out += kAlphabet[(value >> 18) & 0x3f];
  out += kAlphabet[(value >> 12) & 0x3f];
  out += kAlphabet[(value >> 6) & 0x3f];
  out += kAlphabet[value & 0x3f];
}

// The last one or two bytes, padded with '='.
void AppendPartialGroup(std::string& out, std::string_view bytes, size_t at) {
  const size_t left = bytes.size() - at;
  if (left == 0) return;
  const uint32_t value =
      (uint32_t{Byte(bytes, at)} << 16) | (left > 1 ? uint32_t{Byte(bytes, at + 1)} << 8 : 0u);
  out += kAlphabet[(value >> 18) & 0x3f];
  out += kAlphabet[(value >> 12) & 0x3f];
  out += left > 1 ? kAlphabet[(value >> 6) & 0x3f] : '=';
  out += '=';
}

int AlphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  const size_t full_groups = bytes.size() / 3;
  std::string out;
  out.reserve((full_groups + 1) * 4 + (full_groups / kGroupsPerLine + 1) * 2);
  // Every line gets its CR LF, the last (possibly empty) line too, and the last CR LF is then
  // taken back: so a positive multiple of 57 bytes ends with a line break.
  for (size_t line = 0; line <= full_groups / kGroupsPerLine; ++line) {
    const size_t end = std::min(full_groups, (line + 1) * kGroupsPerLine);
    for (size_t group = line * kGroupsPerLine; group < end; ++group) {
      AppendGroup(out, bytes, group * 3);
    }
    out += "\r\n";
  }
  out.resize(out.size() - 2);
  AppendPartialGroup(out, bytes, full_groups * 3);
  return out;
}

std::string EncodeBase64NoBreaks(std::string_view bytes) {
  const size_t full_groups = bytes.size() / 3;
  std::string out;
  out.reserve((full_groups + 1) * 4);
  for (size_t group = 0; group < full_groups; ++group) AppendGroup(out, bytes, group * 3);
  AppendPartialGroup(out, bytes, full_groups * 3);
  return out;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  uint32_t value = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '\0') break;
    const int index = AlphabetIndex(c);
    if (index < 0) continue;
    value = (value << 6) | static_cast<uint32_t>(index);
    if (++count == 4) {
      out += static_cast<char>((value >> 16) & 0xff);
      out += static_cast<char>((value >> 8) & 0xff);
      out += static_cast<char>(value & 0xff);
      value = 0;
      count = 0;
    }
  }
  if (count == 2) {
    out += static_cast<char>((value >> 4) & 0xff);
  } else if (count == 3) {
    out += static_cast<char>((value >> 10) & 0xff);
    out += static_cast<char>((value >> 2) & 0xff);
  }
  return out;
}

}  // namespace fernlite
