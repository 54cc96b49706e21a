// Throw-away directories and environment changes for tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace fernlite::test {

// A fresh empty directory under the system's temporary folder, removed with its contents when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::u16string& path() const { return path_; }
  std::u16string Join(std::u16string_view name) const;

 private:
  std::u16string path_;
};

// Sets (or with nullopt, removes) an environment variable and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

void SetEnv(const char* name, const std::optional<std::string>& value);
std::optional<std::string> GetEnv(const char* name);

// Holds a file open the way the launcher holds its marker: other processes cannot delete it
// (Windows: no delete sharing; Linux: an exclusive flock).
class LockedFile {
 public:
  explicit LockedFile(const std::u16string& path);
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  bool ok() const { return handle_ != kInvalid; }

 private:
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;
};

// The most memory this process has held at once so far (peak resident set / working set), in
// bytes; 0 when the system does not say.
std::uint64_t PeakMemoryBytes();

// Writes bytes to a file, replacing it.
void WriteTestFile(const std::u16string& path, std::string_view bytes);

}  // namespace fernlite::test
