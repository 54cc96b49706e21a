#include "fakes/isolated_profile.h"

namespace fernlite::test {

// The prefix is the test's own; what an earlier test installed is cleared by the caller.
void IsolatedProfile::IsolateEnvironment() {}

}  // namespace fernlite::test
