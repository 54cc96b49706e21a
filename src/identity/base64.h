// Base64 with the standard alphabet and '=' padding, in the two layouts the program writes.
#pragma once

#include <string>
#include <string_view>

namespace fernlite {

// Lines of 76 characters separated by CR LF. The final one- or two-byte group follows the
// text directly; only when the full groups fill a positive number of lines exactly does a
// CR LF stand before it, and an input of a positive multiple of 57 bytes ends with CR LF.
std::string EncodeBase64(std::string_view bytes);

// One line, '=' padded.
std::string EncodeBase64NoBreaks(std::string_view bytes);

// Reads up to the end or the first zero character, skipping everything outside the alphabet
// (line breaks, '=', spaces). Four characters give three bytes; a final group of two or three
// characters gives one or two bytes, a lone final character nothing.
std::string DecodeBase64(std::string_view text);

}  // namespace fernlite
