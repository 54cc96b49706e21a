#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "app/run_settings.h"
#include "app/version.h"
#include "fakes/test_env.h"
#include "identity/base64.h"
#include "identity/cipher.h"
#include "net/report.h"
#include "platform/text.h"

namespace fernlite {
namespace {

ReportFields SampleFields() {
  ReportFields fields;
  fields.event = u"45";
  fields.version = u"1.0.0.1";
  fields.game_code = u"qmzt";
  fields.channel = u"281";
  fields.sub_channel = u"407";
  fields.device_id = u"0123456789abcdef0123456789abcdef";
  fields.time = 1700000000u;
  return fields;
}

// Undoes the scrambler: Base64, then each byte minus the report key byte.
std::string Unscramble(std::string_view base64) {
  std::string bytes = DecodeBase64(base64);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) -
                                 static_cast<unsigned char>(kReportKey[i % kReportKey.size()]));
  }
  return bytes;
}

std::string QueryOf(const std::u16string& url) {
  const size_t q = url.find(u'?');
  return ToUtf8(url.substr(q + 1));
}

TEST(ReportLayout, DataQueryAndStatsUrl) {
  const ReportFields fields = SampleFields();
  EXPECT_EQ(DataQueryText(fields),
            "app=jk&t=wd&ev=45&ver=1.0.0.1&aid=qmzt&cid=281&ccid=407"
            "&puid=0123456789abcdef0123456789abcdef&etm=1700000000");
  EXPECT_EQ(StatsCollectorUrl(u"http://tj.example", fields),
            u"http://tj.example/wd.php?app=game&evt=jk&pos=wd&f=client&stat=45&ver=1.0.0.1"
            u"&gid=qmzt&cid=281&ccid=407&puid=0123456789abcdef0123456789abcdef&tm=1700000000");
}

TEST(ReportLayout, EmptyValuesStayInPlace) {
  ReportFields fields = SampleFields();
  fields.channel.clear();
  fields.version.clear();
  fields.device_id.clear();
  fields.time = 4294967295u;
  EXPECT_EQ(DataQueryText(fields),
            "app=jk&t=wd&ev=45&ver=&aid=qmzt&cid=&ccid=407&puid=&etm=4294967295");
  EXPECT_NE(StatsCollectorUrl(u"http://s", fields).find(u"&ver=&gid=qmzt&cid=&ccid=407&puid=&tm="),
            std::u16string::npos);
}

TEST(ReportLayout, DataUrlCarriesTheScrambledQueryOnOneLine) {
  const ReportFields fields = SampleFields();
  const auto url = DataCollectorUrl(u"http://jk.example", fields);
  ASSERT_TRUE(url);
  const std::u16string prefix = u"http://jk.example/jk/1.html?";
  ASSERT_EQ(url->rfind(prefix, 0), 0u);
  const std::string encoded = ToUtf8(url->substr(prefix.size()));
  // Longer than one Base64 line, yet without a break.
  EXPECT_GT(encoded.size(), 76u);
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(encoded, ScrambleReportText(DataQueryText(fields)));
  EXPECT_EQ(Unscramble(encoded), DataQueryText(fields));
}

TEST(ReportLayout, TextOutsideAsciiIsSentAsUtf8) {
  ReportFields fields = SampleFields();
  fields.channel = u"\u6e20";
  const auto url = DataCollectorUrl(u"http://jk", fields);
  ASSERT_TRUE(url);
  EXPECT_NE(Unscramble(QueryOf(*url)).find("&cid=\xe6\xb8\xa0&ccid="), std::string::npos);
}

TEST(ReportLayout, DataUrlLongerThan259CharactersIsNotBuilt) {
  // With an 8-character base the url is 19 + 4 * ceil(query / 3) characters: a 180-byte query
  // gives exactly 259, a 181-byte one 263.
  ReportFields fields = SampleFields();
  const size_t base_query = DataQueryText(fields).size();
  ASSERT_LT(base_query, 180u);
  fields.channel = std::u16string(3 + 180 - base_query, u'7');
  ASSERT_EQ(DataQueryText(fields).size(), 180u);
  const auto longest = DataCollectorUrl(u"http://c", fields);
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->size(), 259u);
  EXPECT_EQ(Unscramble(QueryOf(*longest)), DataQueryText(fields));

  fields.channel += u'7';
  EXPECT_FALSE(DataCollectorUrl(u"http://c", fields));
}

struct RecordedFetches {
  std::vector<std::u16string> urls;
  bool answer = true;
  ReportContext Context() {
    ReportContext context;
    context.data_base = u"http://jk.test";
    context.stats_base = u"http://tj.test:8080";
    context.fields = SampleFields();
    context.fields.event = u"overwritten";
    context.fetch = [this](const std::u16string& url) {
      urls.push_back(url);
      return answer;
    };
    return context;
  }
};

TEST(SendReport, BothCollectorsGetTheSameValuesInOrder) {
  RecordedFetches fetches;
  fetches.answer = false;  // the second request goes out even when the first fails
  SendReport(u"46", fetches.Context());
  ASSERT_EQ(fetches.urls.size(), 2u);
  ASSERT_EQ(fetches.urls[0].rfind(u"http://jk.test/jk/1.html?", 0), 0u);
  ASSERT_EQ(fetches.urls[1].rfind(u"http://tj.test:8080/wd.php?", 0), 0u);

  ReportFields expected = SampleFields();
  expected.event = u"46";
  EXPECT_EQ(Unscramble(QueryOf(fetches.urls[0])), DataQueryText(expected));
  EXPECT_EQ(fetches.urls[1], StatsCollectorUrl(u"http://tj.test:8080", expected));
}

TEST(SendReport, TooLongDataUrlIsSkippedButStatsStillSent) {
  RecordedFetches fetches;
  ReportContext context = fetches.Context();
  context.fields.sub_channel = std::u16string(200, u'9');
  SendReport(u"45", context);
  ASSERT_EQ(fetches.urls.size(), 1u);
  EXPECT_EQ(fetches.urls[0].rfind(u"http://tj.test:8080/wd.php?", 0), 0u);
}

TEST(ReportContextOfThisProcess, ReadsSettingsVersionHostsAndClock) {
  test::ScopedEnv platform("FERNLITE_PLATFORM", std::string("http://127.0.0.1:5/"));
  Settings().ChannelID = u"281";
  Settings().SubChannelID = u"";
  const std::uint32_t before = UnixTimeNow();  // the clock the reports read
  const ReportContext context = CurrentReportContext();
  const std::uint32_t after = UnixTimeNow();

  EXPECT_EQ(context.data_base, u"http://127.0.0.1:5");
  EXPECT_EQ(context.stats_base, u"http://127.0.0.1:5");
  EXPECT_GE(context.fields.time, before);
  EXPECT_LE(context.fields.time, after);
  EXPECT_EQ(context.fields.game_code, Settings().GameCode);
  EXPECT_EQ(context.fields.channel, u"281");
  EXPECT_EQ(context.fields.sub_channel, u"");
  EXPECT_EQ(context.fields.version, LauncherVersionText());
  EXPECT_TRUE(
      std::regex_match(ToUtf8(context.fields.version), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
  ASSERT_TRUE(context.device_id);
  const std::u16string device_id = context.device_id();
  EXPECT_TRUE(device_id.empty() || std::regex_match(ToUtf8(device_id), std::regex("[0-9a-f]{32}")));
  EXPECT_TRUE(context.fetch);
}

}  // namespace
}  // namespace fernlite
