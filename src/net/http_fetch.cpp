#include "net/http_fetch.h"

#include <algorithm>
#include <limits>

#include "net/http_fetch_platform.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {

std::optional<UrlParts> SplitUrl(std::u16string_view url) {
  UrlParts parts;
  std::u16string_view rest;
  if (StartsWithNoCase(url, u"http://")) {
    rest = url.substr(7);
    parts.port = 80;
  } else if (StartsWithNoCase(url, u"https://")) {
    rest = url.substr(8);
    parts.secure = true;
    parts.port = 443;
  } else {
    return std::nullopt;
  }

  const size_t authority_end = std::min(rest.find_first_of(u"/?#"), rest.size());
  std::u16string_view authority = rest.substr(0, authority_end);
  if (authority.find(u'@') != std::u16string_view::npos) return std::nullopt;

  std::u16string_view host = authority;
  std::u16string_view port;
  if (!authority.empty() && authority.front() == u'[') {
    // IPv6 literal: "[::1]" or "[::1]:8080".
    const size_t close = authority.find(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    const std::u16string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != u':') return std::nullopt;
      port = after.substr(1);
    }
  } else if (const size_t colon = authority.rfind(u':'); colon != std::u16string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return std::nullopt;

  if (!port.empty()) {
    if (port.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char16_t c : port) {
      if (c < u'0' || c > u'9') return std::nullopt;
      value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    parts.port = static_cast<std::uint16_t>(value);
  }

  parts.host = std::u16string(host);
  const std::u16string_view object = rest.substr(authority_end);
  if (object.empty() || object.front() != u'/') parts.object.push_back(u'/');
  parts.object.append(object);
  return parts;
}

bool IsSuccessStatus(long status) {
  return (status >= 200 && status <= 206) || (status >= 301 && status <= 305);
}

std::uint64_t ParseContentLength(std::string_view header_value) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  size_t i = 0;
  while (i < header_value.size() && (header_value[i] == ' ' || header_value[i] == '\t')) ++i;
  std::uint64_t value = 0;
  for (; i < header_value.size() && header_value[i] >= '0' && header_value[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(header_value[i] - '0');
    if (value > (kMax - digit) / 10) return kMax;
    value = value * 10 + digit;
  }
  return value;
}

size_t BodyProgress::NextReadSize() const {
  if (!remaining_) return kTransferBufferSize;
  return static_cast<size_t>(std::min<std::uint64_t>(*remaining_, kTransferBufferSize));
}

size_t BodyProgress::Accept(size_t available) {
  if (!remaining_) return available;
  const auto taken = static_cast<size_t>(std::min<std::uint64_t>(*remaining_, available));
  *remaining_ -= taken;
  return taken;
}

bool Fetch(std::u16string_view url, const std::u16string* file_path, const FetchLimits& limits) {
  const std::optional<UrlParts> parts = SplitUrl(url);
  return parts && Platform<HttpPlatform>().get(*parts, file_path, limits);
}

bool FetchUncached(std::u16string_view url, const FetchLimits& limits) {
  Platform<HttpPlatform>().forget_cached(std::u16string(url));
  return Fetch(url, nullptr, limits);
}

}  // namespace fernlite
