#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "net/user_agent.h"

namespace fernlite {
namespace {

TEST(UserAgentOnLinux, IsTheDefaultsWithTheKernelVersion) {
  std::ifstream release("/proc/sys/kernel/osrelease");
  std::string text;
  ASSERT_TRUE(std::getline(release, text));
  const size_t first_dot = text.find('.');
  ASSERT_NE(first_dot, std::string::npos);
  const size_t minor_end = text.find_first_not_of("0123456789", first_dot + 1);
  const std::string numbers = text.substr(0, minor_end);

  const std::string user_agent = GetUserAgent();
  std::printf("user agent: %s\n", user_agent.c_str());
  EXPECT_EQ(user_agent, "Mozilla/4.0 (compatible; MSIE 7.0; Linux " + numbers + ")");
  EXPECT_EQ(GetUserAgentText(), std::u16string(user_agent.begin(), user_agent.end()));
}

}  // namespace
}  // namespace fernlite
