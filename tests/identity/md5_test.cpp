#include <gtest/gtest.h>

#include "identity/md5.h"

namespace fernlite {
namespace {

// RFC 1321 appendix vectors plus the identifier with neither part known.
TEST(Md5, KnownAnswers) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(
      Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(Md5Hex("ND--"), "7613b66c3a193c8e4e5dad4cda3fdad4");
}

TEST(Md5, BinaryInputIsHashedWhole) {
  const std::string with_zero("a\0b", 3);
  EXPECT_NE(Md5Hex(with_zero), Md5Hex("a"));
  EXPECT_EQ(Md5Hex(with_zero).size(), 32u);
}

}  // namespace
}  // namespace fernlite
