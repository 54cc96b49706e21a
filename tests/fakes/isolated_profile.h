// A user profile in which nothing is installed yet: Linux points HOME and the XDG folders at a
// throw-away directory; Windows (a throw-away Wine prefix) removes the installed copies and the
// stored identity record before and after the test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fakes/test_env.h"

namespace fernlite::test {

class IsolatedProfile {
 public:
  IsolatedProfile();
  ~IsolatedProfile();
  IsolatedProfile(const IsolatedProfile&) = delete;
  IsolatedProfile& operator=(const IsolatedProfile&) = delete;

  // Scratch space for downloads and shortcut folders.
  const TempDir& scratch() const { return scratch_; }

 private:
  void IsolateEnvironment();  // platform side
  void ClearInstallState();

  TempDir scratch_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

}  // namespace fernlite::test
