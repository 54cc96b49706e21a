// The test harness starts the development platform (under Wine too) and stops it again.
#include <gtest/gtest.h>

#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/raw_http.h"
#include "platform/text.h"

namespace fernlite::test {
namespace {

TEST(DevPlatformHarness, ServesAndLogsARequest) {
  DevPlatform server;
  ASSERT_TRUE(server.ok());
  EXPECT_EQ(server.base_url(), u"http://127.0.0.1:" + AsciiToU16(std::to_string(server.port())));

  const RawExchange exchange = SendRawHttp(
      server.port(), "GET /test/ua?probe=1 HTTP/1.0\r\nUser-Agent: harness-probe/1.0\r\n\r\n");
  ASSERT_TRUE(exchange.connected);
  const RawResponse response = ParseRawResponse(exchange.bytes);
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "harness-probe/1.0");

  const std::vector<JsonValue> entries = LogEntriesForPath(server.LogLines(), "/test/ua");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Text("query"), "probe=1");
  EXPECT_EQ(entries[0].Text("ua"), "harness-probe/1.0");
  EXPECT_EQ(entries[0].Text("http"), "1.0");
}

TEST(DevPlatformHarness, TwoServersRunSideBySideAndStop) {
  int first_port = 0;
  {
    DevPlatform first;
    DevPlatform second;
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_NE(first.port(), second.port());
    first_port = first.port();
    SendRawHttp(second.port(), "GET /only-second HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(LogEntriesForPath(first.LogLines(), "/only-second").empty());
    EXPECT_EQ(LogEntriesForPath(second.LogLines(), "/only-second").size(), 1u);
  }
  // Stopped: nothing answers on the old port any more.
  EXPECT_FALSE(SendRawHttp(first_port, "GET / HTTP/1.0\r\n\r\n", 1000).connected);
}

TEST(DevPlatformLogParsing, ReadsTheServersEscapes) {
  const std::optional<JsonValue> value =
      ParseJson(R"({"a":"q\"b\\c\u0001\u00e5","n":-12.5,"t":true,"o":{"k":[1,null]}})");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->Text("a"), std::string("q\"b\\c\x01\xE5"));
  EXPECT_EQ(value->Find("n")->number, -12.5);
  EXPECT_TRUE(value->Find("t")->boolean);
  EXPECT_EQ(value->Find("o")->Find("k")->items.size(), 2u);
  EXPECT_FALSE(ParseJson(R"({"a":1,})").has_value());
  EXPECT_FALSE(ParseJson(R"({"a":"unterminated})").has_value());
  EXPECT_FALSE(ParseLogLine(R"({"time":1,"method":"GET"})").has_value());
}

}  // namespace
}  // namespace fernlite::test
