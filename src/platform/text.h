// Text conversions. Text inside the program is UTF-16; bytes on disk and in digests use the
// thread's ANSI code page (Windows) or UTF-8 (Linux), which only ToAnsi / FromAnsi ask the
// system for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fernlite {

std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view bytes);

// Plain ASCII widening/narrowing for texts known to be ASCII (digits, hex, codes).
std::u16string AsciiToU16(std::string_view ascii);
std::string U16ToAscii(std::u16string_view text);

// Case-insensitive comparison of ASCII letters; other characters compare exactly.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);

std::u16string ToU16(long long value);

// C-style leading decimal integer: leading white space, an optional sign, then digits up to the
// first other character; 0 without digits. Values beyond 32 bits saturate.
std::int32_t LeadingInt(std::string_view text);

}  // namespace fernlite
