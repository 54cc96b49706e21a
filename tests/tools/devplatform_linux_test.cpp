// The development platform's HTTP contract, checked from outside with libcurl and raw sockets.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/raw_http.h"
#include "fakes/test_env.h"
#include "identity/base64.h"
#include "identity/cipher.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite::test {
namespace {

struct CurlResult {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string headers;
  std::string body;
};

size_t Append(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

CurlResult CurlGet(const std::string& url, const std::string& user_agent = "fernlite-test") {
  CurlResult result;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.headers);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  result.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_easy_cleanup(curl);
  return result;
}

std::string Pattern(size_t offset, size_t count) {
  std::string bytes;
  for (size_t i = offset; i < offset + count; ++i) bytes += static_cast<char>(i % 251);
  return bytes;
}

class DevPlatformTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new DevPlatform(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->ok()); }

  static std::string Url(const std::string& target) { return ToUtf8(server_->base_url()) + target; }
  static RawExchange Raw(const std::string& target, const std::string& version = "HTTP/1.1",
                         int timeout_ms = 5000) {
    return SendRawHttp(server_->port(),
                       "GET " + target + " " + version +
                           "\r\nHost: 127.0.0.1\r\nUser-Agent: raw\r\n"
                           "Connection: close\r\n\r\n",
                       timeout_ms);
  }
  // The newest log entry for the path.
  static JsonValue LastEntry(const std::string& path) {
    const std::vector<JsonValue> entries = LogEntriesForPath(server_->LogLines(), path);
    return entries.empty() ? JsonValue() : entries.back();
  }

  static DevPlatform* server_;
};

DevPlatform* DevPlatformTest::server_ = nullptr;

TEST_F(DevPlatformTest, StatusRouteAnswersTheCodeAndRedirectsCarryALocation) {
  for (long code : {200L, 201L, 404L, 500L, 503L}) {
    const CurlResult result = CurlGet(Url("/test/status/" + std::to_string(code)));
    EXPECT_EQ(result.status, code);
    EXPECT_EQ(result.body, "status " + std::to_string(code));
  }
  const CurlResult found = CurlGet(Url("/test/status/302"));  // not followed
  EXPECT_EQ(found.status, 302);
  EXPECT_NE(found.headers.find("Location: /test/bytes/10\r\n"), std::string::npos) << found.headers;
  const CurlResult moved = CurlGet(Url("/test/status/301?location=/files/a.xml"));
  EXPECT_NE(moved.headers.find("Location: /files/a.xml\r\n"), std::string::npos) << moved.headers;

  const RawResponse no_content = ParseRawResponse(Raw("/test/status/204").bytes);
  EXPECT_EQ(no_content.status, 204);
  EXPECT_EQ(no_content.body, "");
  EXPECT_EQ(CurlGet(Url("/test/status/42")).status, 400);
}

TEST_F(DevPlatformTest, BytesRouteSendsThePatternWithItsLength) {
  const CurlResult result = CurlGet(Url("/test/bytes/70000"));
  EXPECT_EQ(result.code, CURLE_OK);
  EXPECT_EQ(result.body, Pattern(0, 70000));
  EXPECT_NE(result.headers.find("Content-Length: 70000\r\n"), std::string::npos);

  const RawResponse empty = ParseRawResponse(Raw("/test/bytes/0").bytes);
  EXPECT_EQ(empty.status, 200);
  std::string length;
  EXPECT_TRUE(FindHeader(empty.headers, "Content-Length", &length));
  EXPECT_EQ(length, "0");
  EXPECT_EQ(empty.body, "");
}

TEST_F(DevPlatformTest, AdvertisedLengthLongerThanTheBodyEndsWithAClosedConnection) {
  const RawExchange exchange = Raw("/test/bytes/1500?length=4000");
  EXPECT_TRUE(exchange.closed);
  const RawResponse response = ParseRawResponse(exchange.bytes);
  std::string length;
  ASSERT_TRUE(FindHeader(response.headers, "Content-Length", &length));
  EXPECT_EQ(length, "4000");
  EXPECT_EQ(response.body, Pattern(0, 1500));

  const CurlResult curl = CurlGet(Url("/test/bytes/10?length=20"));
  EXPECT_EQ(curl.code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(curl.body, Pattern(0, 10));

  // A shorter advertised length is simply a complete, shorter response.
  const CurlResult shorter = CurlGet(Url("/test/bytes/10?length=4"));
  EXPECT_EQ(shorter.code, CURLE_OK);
  EXPECT_EQ(shorter.body, Pattern(0, 4));
}

TEST_F(DevPlatformTest, NoLengthBodyIsDelimitedByTheClose) {
  for (const char* version : {"HTTP/1.0", "HTTP/1.1"}) {
    const RawExchange exchange = Raw("/test/bytes/3000?nolength=1", version);
    EXPECT_TRUE(exchange.closed) << version;
    const RawResponse response = ParseRawResponse(exchange.bytes);
    EXPECT_EQ(response.status, 200);
    EXPECT_FALSE(FindHeader(response.headers, "Content-Length")) << response.headers;
    EXPECT_FALSE(FindHeader(response.headers, "Transfer-Encoding")) << response.headers;
    EXPECT_EQ(response.body, Pattern(0, 3000));
  }
  EXPECT_EQ(LastEntry("/test/bytes/3000").Text("http"), "1.1");
}

TEST_F(DevPlatformTest, TrickleIsSlowButComplete) {
  const auto start = std::chrono::steady_clock::now();
  const CurlResult result = CurlGet(Url("/test/trickle/50?chunk=10&interval_ms=60"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.code, CURLE_OK);
  EXPECT_EQ(result.body, Pattern(0, 50));
  EXPECT_GE(elapsed, std::chrono::milliseconds(4 * 60));  // four pauses between five chunks
  EXPECT_EQ(CurlGet(Url("/test/trickle/50?chunk=0")).status, 400);
}

TEST_F(DevPlatformTest, UserAgentIsEchoedAndLogged) {
  const std::string agent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)";
  EXPECT_EQ(CurlGet(Url("/test/ua"), agent).body, agent);
  EXPECT_EQ(LastEntry("/test/ua").Text("ua"), agent);
}

TEST_F(DevPlatformTest, FilesComeFromTheRootAndTraversalIsRefused) {
  WriteTestFile(server_->root_dir() + u"/upgrade.xml", "<a>1</a>");
  const CurlResult file = CurlGet(Url("/files/upgrade.xml"));
  EXPECT_EQ(file.status, 200);
  EXPECT_EQ(file.body, "<a>1</a>");
  EXPECT_EQ(CurlGet(Url("/files/missing.xml")).status, 404);
  // Raw requests: a client library would tidy these paths away.
  EXPECT_EQ(ParseRawResponse(Raw("/files/../requests.jsonl").bytes).status, 403);
  EXPECT_EQ(ParseRawResponse(Raw("/files/%2e%2e/requests.jsonl").bytes).status, 403);
}

TEST_F(DevPlatformTest, UnknownPathsAreNotFoundAndLogged) {
  EXPECT_EQ(CurlGet(Url("/no/such/page?x=1")).status, 404);
  const JsonValue entry = LastEntry("/no/such/page");
  EXPECT_EQ(entry.Text("query"), "x=1");
  ASSERT_NE(entry.Find("status"), nullptr);
  EXPECT_EQ(entry.Find("status")->number, 404);
}

TEST_F(DevPlatformTest, EveryLogLineIsJsonWithTheCommonMembers) {
  Raw("/test/ua?marker=quote\"back\\slash", "HTTP/1.0");
  const std::vector<std::string> lines = server_->LogLines();
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) EXPECT_TRUE(ParseLogLine(line).has_value()) << line;
  const JsonValue entry = LastEntry("/test/ua");
  EXPECT_EQ(entry.Text("method"), "GET");
  EXPECT_EQ(entry.Text("query"), "marker=quote\"back\\slash");
  EXPECT_EQ(entry.Text("http"), "1.0");
  EXPECT_EQ(entry.Text("ua"), "raw");
  EXPECT_GT(entry.Find("time")->number, 1.6e9);
}

TEST_F(DevPlatformTest, DataCollectorUnscramblesAndChecksTheReport) {
  // Non-ASCII text in the game code makes byte sums wrap past 255.
  const std::string plain =
      "app=jk&t=wd&ev=45&ver=1.0.0.1&aid=\xE5\xB2\x9A\xE5\xB2\xAB&cid=&ccid=407"
      "&puid=0123456789abcdef0123456789abcdef&etm=1700000000";
  const CurlResult result = CurlGet(Url("/jk/1.html?" + ScrambleReportText(plain)));
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body, "ok");
  const JsonValue entry = LastEntry("/jk/1.html");
  EXPECT_EQ(entry.Text("collector"), "jk");
  EXPECT_EQ(entry.Text("decoded"), plain);
  ASSERT_NE(entry.Find("valid"), nullptr);
  EXPECT_TRUE(entry.Find("valid")->boolean) << entry.Text("error");
  const JsonValue* fields = entry.Find("fields");
  ASSERT_NE(fields, nullptr);
  ASSERT_EQ(fields->members.size(), 9u);
  EXPECT_EQ(fields->Text("ev"), "45");
  EXPECT_EQ(fields->Text("aid"), "\xE5\xB2\x9A\xE5\xB2\xAB");
  EXPECT_EQ(fields->Text("cid"), "");
  EXPECT_EQ(fields->Text("etm"), "1700000000");
}

TEST_F(DevPlatformTest, DataCollectorRejectsWhatIsNotAScrambledReport) {
  // 'a'+'m', 'p'+'o', 'p'+'r' = CE DF E2, worked out by hand.
  CurlGet(Url("/jk/1.html?zt/i"));
  JsonValue entry = LastEntry("/jk/1.html");
  EXPECT_EQ(entry.Text("decoded"), "app");
  EXPECT_FALSE(entry.Find("valid")->boolean);

  struct Case {
    std::string query;
    const char* why;
  };
  const std::string good = "app=jk&t=wd&ev=46&ver=&aid=qmzt&cid=281&ccid=407&puid=&etm=1700000000";
  const Case cases[] = {
      {"!!!!", "not Base64"},
      {ScrambleReportText(good).substr(1), "Base64 cut short"},
      {EncodeBase64NoBreaks(good), "plain text, not scrambled"},
      {ScrambleReportText("app=jk&t=wd&ev=46&ver=&aid=qmzt&cid=281&puid=&etm=1"), "ccid missing"},
      {ScrambleReportText("app=jk&t=wd&ev=&ver=&aid=qmzt&cid=281&ccid=407&puid=&etm=1"),
       "no event"},
      {ScrambleReportText(good + "&x=1"), "extra key"},
      {ScrambleReportText("app=jk&t=wd&ev=46&ver=&aid=qmzt&cid=281&ccid=407&puid=&etm=now"),
       "time"},
  };
  for (const Case& c : cases) {
    CurlGet(Url("/jk/1.html?" + c.query));
    entry = LastEntry("/jk/1.html");
    EXPECT_EQ(entry.Text("query"), c.query) << c.why;
    ASSERT_NE(entry.Find("valid"), nullptr) << c.why;
    EXPECT_FALSE(entry.Find("valid")->boolean) << c.why;
    EXPECT_FALSE(entry.Text("error").empty()) << c.why;
  }
  CurlGet(Url("/jk/1.html?" + ScrambleReportText(good)));
  EXPECT_TRUE(LastEntry("/jk/1.html").Find("valid")->boolean);
}

TEST_F(DevPlatformTest, StatisticsCollectorSplitsThePlainQuery) {
  const std::string query =
      "app=game&evt=jk&pos=wd&f=client&stat=50&ver=1.0.0.1&gid=qmzt&cid=&ccid=407"
      "&puid=0123456789abcdef0123456789abcdef&tm=1700000000";
  EXPECT_EQ(CurlGet(Url("/wd.php?" + query)).body, "ok");
  JsonValue entry = LastEntry("/wd.php");
  EXPECT_EQ(entry.Text("collector"), "wd");
  EXPECT_TRUE(entry.Find("valid")->boolean) << entry.Text("error");
  EXPECT_EQ(entry.Find("fields")->Text("stat"), "50");
  EXPECT_EQ(entry.Find("fields")->Text("gid"), "qmzt");

  for (const std::string bad :
       {"app=game&evt=jk&pos=wd&f=client&stat=50",
        "app=jk&evt=jk&pos=wd&f=client&stat=50&ver=&gid=q&cid=&ccid=&puid=&tm=1",
        "app=game&evt=jk&pos=wd&f=client&stat=50&ver=1.0&gid=q&cid=&ccid=&puid=&tm=1",
        "app=game&evt=jk&pos=wd&f=client&stat=50&ver=&gid=q&cid=&ccid=&puid=ABC&tm=1"}) {
    CurlGet(Url("/wd.php?" + bad));
    entry = LastEntry("/wd.php");
    EXPECT_FALSE(entry.Find("valid")->boolean) << bad;
  }
}

TEST(DevPlatformLifetime, HangHoldsTheRequestUntilShutdown) {
  auto server = std::make_unique<DevPlatform>();
  ASSERT_TRUE(server->ok());
  const RawExchange held = SendRawHttp(server->port(), "GET /test/hang HTTP/1.0\r\n\r\n", 400);
  EXPECT_TRUE(held.connected);
  EXPECT_FALSE(held.closed);
  EXPECT_EQ(held.bytes, "");
  const std::vector<JsonValue> entries = LogEntriesForPath(server->LogLines(), "/test/hang");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Find("status")->number, 0);

  // A held request must not keep the server from stopping.
  const auto start = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(DevPlatformLifetime, CommandLineIsCheckedAndSigtermStopsCleanly) {
  auto run = [](const std::string& arguments) {
    const int status = std::system(
        (std::string(FERNLITE_DEVPLATFORM_PATH) + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("--port 0"), 2);  // no log
  EXPECT_EQ(run("--log /dev/null --port 70000"), 2);
  EXPECT_EQ(run("--log /dev/null --port 0 --bogus"), 2);

  // Stopped the moment its port is known, several times over: a stop that comes before the
  // server's loop has begun must still end it and remove its port file. One still there after
  // 10 s is killed, and its 137 fails the comparison.
  TempDir dir;
  const std::string port_file = ToUtf8(dir.Join(u"port"));
  const std::string script =
      "for round in 1 2 3 4 5 6; do " + std::string(FERNLITE_DEVPLATFORM_PATH) +
      " --port 0 --log /dev/null --port-file " + port_file +
      " >/dev/null 2>&1 & pid=$!; for i in $(seq 100); do [ -s " + port_file +
      " ] && break; sleep 0.05; done; kill -TERM $pid; (sleep 10; kill -KILL $pid) "
      ">/dev/null 2>&1 & watchdog=$!; wait $pid; echo $?; kill $watchdog 2>/dev/null; test -e " +
      port_file + " && echo left; rm -f " + port_file + "; done";
  std::FILE* pipe = popen(script.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[64] = {};
  std::string output;
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  pclose(pipe);
  EXPECT_EQ(output, "0\n0\n0\n0\n0\n0\n");  // exit code 0 each time, port file removed
}

TEST(DevPlatformLifetime, ClosingTheLifelineStopsTheServer) {
  TempDir dir;
  const std::u16string port_file = dir.Join(u"port");
  ASSERT_EQ(std::system((std::string(FERNLITE_DEVPLATFORM_PATH) +
                         " --port 0 --log /dev/null --lifeline --port-file " + ToUtf8(port_file) +
                         " >/dev/null 2>&1 &")
                            .c_str()),
            0);
  int port = 0;
  for (int i = 0; i < 200 && port == 0; ++i) {
    if (const std::optional<std::string> text = ReadFileBytes(port_file); text && !text->empty()) {
      port = std::atoi(text->c_str());
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ASSERT_GT(port, 0);
  // Half a second of lifeline, then hang up without reading the rest.
  const RawExchange lifeline = SendRawHttp(port, "GET /control/lifeline HTTP/1.1\r\n\r\n", 500);
  EXPECT_FALSE(lifeline.closed);
  EXPECT_EQ(ParseRawResponse(lifeline.bytes).status, 200);
  bool stopped = false;
  for (int i = 0; i < 120 && !stopped; ++i) {
    stopped = !FileExists(port_file);
    if (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(SendRawHttp(port, "GET / HTTP/1.0\r\n\r\n", 500).connected);
}

}  // namespace
}  // namespace fernlite::test
