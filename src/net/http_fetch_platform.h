// What the HTTP client needs from the system: one GET over a direct connection.
#pragma once

#include <functional>
#include <string>

#include "net/http_fetch.h"

namespace fernlite {

struct HttpPlatform {
  static constexpr const char* kUnit = "http";
  // GET of an address already split and checked, with every rule of Fetch (http_fetch.h).
  std::function<bool(const UrlParts& url, const std::u16string* file_path,
                     const FetchLimits& limits)>
      get;
  // Drops the address from the system's URL cache (nothing to do where there is none).
  std::function<void(const std::u16string& url)> forget_cached;
};

const HttpPlatform& NativeHttpPlatform();

}  // namespace fernlite
