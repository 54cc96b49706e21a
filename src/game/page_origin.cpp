#include "game/page_origin.h"

#include <algorithm>

#include "net/endpoints.h"

namespace fernlite {
namespace {

char16_t Lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string Lowered(std::u16string_view text) {
  std::u16string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

}  // namespace

std::u16string WebOrigin(std::u16string_view url) {
  const size_t colon = url.find(u"://");
  if (colon == std::u16string_view::npos) return {};
  const std::u16string scheme = Lowered(url.substr(0, colon));
  if (scheme != u"http" && scheme != u"https") return {};
  std::u16string_view authority = url.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of(u"/?#\\"));
  if (const size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::u16string_view host = authority, port;
  const size_t bracket = authority.rfind(u']');
  const size_t last_colon = authority.rfind(u':');
  if (last_colon != std::u16string_view::npos &&
      (bracket == std::u16string_view::npos || last_colon > bracket)) {
    host = authority.substr(0, last_colon);
    port = authority.substr(last_colon + 1);
  }
  if (host.empty() || port.size() > 5) return {};
  // Brackets belong around an IPv6 literal and nowhere else; a colon only inside them.
  const bool literal = host.front() == u'[';
  if (literal && (host.size() < 3 || host.back() != u']')) return {};
  const std::u16string_view inner = literal ? host.substr(1, host.size() - 2) : host;
  if (inner.find_first_of(u"[]") != std::u16string_view::npos) return {};
  if (!literal && host.find(u':') != std::u16string_view::npos) return {};
  for (const char16_t c : port) {
    if (c < u'0' || c > u'9') return {};
  }
  for (const char16_t c : host) {
    // Blanks, controls and quotes have no place in a host; they would make two names equal
    // that a browser tells apart.
    if (c <= u' ' || c == u'"' || c == u'\'' || c == u'<' || c == u'>' || c == u'%') return {};
  }
  std::u16string origin = scheme + u"://" + Lowered(host);
  std::u16string_view digits = port;
  while (digits.size() > 1 && digits.front() == u'0') digits.remove_prefix(1);
  if (digits.size() == 5 && digits > u"65535") return {};
  const bool default_port = digits.empty() || (scheme == u"http" && digits == u"80") ||
                            (scheme == u"https" && digits == u"443");
  if (!default_port) origin += u":" + std::u16string(digits);
  return origin;
}

bool IsWebAddress(std::u16string_view url) {
  return !WebOrigin(url).empty();
}

std::vector<std::u16string> PlatformOrigins() {
  std::vector<std::u16string> origins;
  for (const Endpoint endpoint : {Endpoint::kGame, Endpoint::kStatic, Endpoint::kDataCollector,
                                  Endpoint::kStatsCollector, Endpoint::kPortal, Endpoint::kForum}) {
    std::u16string origin = WebOrigin(PlatformBase(endpoint) + u"/");
    if (!origin.empty() && std::find(origins.begin(), origins.end(), origin) == origins.end()) {
      origins.push_back(std::move(origin));
    }
  }
  return origins;
}

bool IsPlatformAddress(std::u16string_view url) {
  const std::u16string origin = WebOrigin(url);
  if (origin.empty()) return false;
  const std::vector<std::u16string> origins = PlatformOrigins();
  return std::find(origins.begin(), origins.end(), origin) != origins.end();
}

bool MayUseBridge(std::u16string_view document_url, bool top_level_document) {
  return top_level_document && IsPlatformAddress(document_url);
}

}  // namespace fernlite
