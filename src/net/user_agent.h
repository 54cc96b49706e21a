// The user-agent text every request sends, assembled from the web browser's settings the way
// the browser itself assembles it.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

inline constexpr std::string_view kFallbackUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Win32)";

// The four settings keys, in the order the assembly visits them.
enum class UaKey { kMachine, kUser, kMachine50, kUser50 };
inline constexpr UaKey kUaKeyOrder[] = {UaKey::kMachine, UaKey::kUser, UaKey::kMachine50,
                                        UaKey::kUser50};

struct OsVersion {
  enum class Family { kWindows9x, kWindowsNt, kOther, kNamed };
  Family family = Family::kWindowsNt;
  unsigned major = 0;
  unsigned minor = 0;
  std::string name;  // kNamed: the system's own name ("Linux")
};

struct UserAgentPlatform;

// Byte buffer with the assembly's growth rule: when an append does not fit, the capacity grows
// by the larger of the appended length and 260 bytes into fresh storage. Allocation goes
// through `allocate` (nullptr result = failure), so the failure path can be exercised.
class GrowableBuffer {
 public:
  using Allocator = char* (*)(size_t bytes);
  static char* DefaultAllocate(size_t bytes);

  explicit GrowableBuffer(Allocator allocate = &DefaultAllocate) : allocate_(allocate) {}
  GrowableBuffer(const GrowableBuffer&) = delete;
  GrowableBuffer& operator=(const GrowableBuffer&) = delete;

  // False when storage could not be obtained; the content is then unchanged.
  bool Append(std::string_view bytes);
  std::string_view view() const { return {data_.get(), size_}; }
  size_t capacity() const { return capacity_; }

 private:
  Allocator allocate_;
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// One assembly from the settings; nullopt when storage ran out.
std::optional<std::string> AssembleUserAgent(
    const UserAgentPlatform& settings,
    GrowableBuffer::Allocator allocate = &GrowableBuffer::DefaultAllocate);

// The platform text of an operating system version.
std::string PlatformTextFor(const std::optional<OsVersion>& version);

// Keeps the first assembled text; a failed assembly gives the fallback and is retried next time.
class UserAgentCache {
 public:
  UserAgentCache() = default;
  ~UserAgentCache();
  UserAgentCache(const UserAgentCache&) = delete;
  UserAgentCache& operator=(const UserAgentCache&) = delete;

  std::string Get(const UserAgentPlatform& settings,
                  GrowableBuffer::Allocator allocate = &GrowableBuffer::DefaultAllocate);

 private:
  // Set once, only to a completely built text; a build racing on another thread yields the
  // same text and is thrown away.
  std::atomic<const std::string*> text_{nullptr};
};

// The process's user agent (8-bit) and the same as UTF-16 for the platform calls.
std::string GetUserAgent();
std::u16string GetUserAgentText();

}  // namespace fernlite
