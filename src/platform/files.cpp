#include "platform/files.h"

namespace fernlite {
namespace {

bool IsSeparator(char16_t c) {
  return c == u'/' || c == kPathSeparator;
}

}  // namespace

std::u16string PathAppend(std::u16string_view dir, std::u16string_view name) {
  std::u16string out(dir);
  while (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
  if (out.empty()) return std::u16string(name);
  if (!IsSeparator(out.back()) && !name.empty()) out += kPathSeparator;
  out += name;
  return out;
}

std::u16string PathDirectory(std::u16string_view path) {
  const auto pos = path.find_last_of(kPathSeparator == u'/' ? std::u16string_view(u"/")
                                                            : std::u16string_view(u"\\/"));
  if (pos == std::u16string_view::npos) return {};
  if (pos == 0) return std::u16string(path.substr(0, 1));
  return std::u16string(path.substr(0, pos));
}

std::u16string PathFileName(std::u16string_view path) {
  const auto pos = path.find_last_of(kPathSeparator == u'/' ? std::u16string_view(u"/")
                                                            : std::u16string_view(u"\\/"));
  return std::u16string(pos == std::u16string_view::npos ? path : path.substr(pos + 1));
}

}  // namespace fernlite
