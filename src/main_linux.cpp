// Process entry of the Linux build.
#include <cstdio>

#include "build_config.h"

int main() {
  std::printf("fernlite %s\n", fernlite::build::kVersionText);
  return 0;
}
