// Every test program starts with the real platform tables in place; a test that needs another
// answer replaces one table for its own span (platform/seam.h).
#include <gtest/gtest.h>

#include "platform/native_tables.h"

int main(int argc, char** argv) {
  fernlite::InstallPlatform();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
