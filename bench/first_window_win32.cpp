// The Windows build has no way yet to report its first window from outside.
#include "first_window.h"

long long FirstWindowMs() {
  return -1;
}
