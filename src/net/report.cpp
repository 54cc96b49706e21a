#include "net/report.h"

#include <chrono>

#include "app/run_settings.h"
#include "app/version.h"
#include "identity/cipher.h"
#include "identity/device_id.h"
#include "net/endpoints.h"
#include "net/http_fetch.h"
#include "net/report_queue.h"
#include "platform/text.h"

namespace fernlite {

std::string DataQueryText(const ReportFields& fields) {
  return "app=jk&t=wd&ev=" + ToUtf8(fields.event) + "&ver=" + U16ToAscii(fields.version) +
         "&aid=" + ToUtf8(fields.game_code) + "&cid=" + ToUtf8(fields.channel) +
         "&ccid=" + ToUtf8(fields.sub_channel) + "&puid=" + ToAnsi(fields.device_id) +
         "&etm=" + std::to_string(fields.time);
}

std::optional<std::u16string> DataCollectorUrl(std::u16string_view base,
                                               const ReportFields& fields) {
  std::u16string url(base);
  url += u"/jk/1.html?";
  url += AsciiToU16(ScrambleReportText(DataQueryText(fields)));
  // The collector takes urls of at most 259 characters; a longer one would only be cut or
  // refused on the way, so it is not sent at all.
  if (url.size() > kMaxReportUrlChars) return std::nullopt;
  return url;
}

std::u16string StatsCollectorUrl(std::u16string_view base, const ReportFields& fields) {
  // Built as bytes and widened with the ANSI code page as a whole.
  const std::string url =
      ToAnsi(base) + "/wd.php?app=game&evt=jk&pos=wd&f=client&stat=" + ToUtf8(fields.event) +
      "&ver=" + U16ToAscii(fields.version) + "&gid=" + ToUtf8(fields.game_code) +
      "&cid=" + ToUtf8(fields.channel) + "&ccid=" + ToUtf8(fields.sub_channel) +
      "&puid=" + ToAnsi(fields.device_id) + "&tm=" + std::to_string(fields.time);
  return FromAnsi(url);
}

std::uint32_t UnixTimeNow() {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(seconds.count());
}

ReportContext CurrentReportContext() {
  const RunSettings& settings = Settings();
  ReportContext context;
  context.data_base = PlatformBase(Endpoint::kDataCollector);
  context.stats_base = PlatformBase(Endpoint::kStatsCollector);
  context.fields.version = LauncherVersionText();
  context.fields.game_code = settings.GameCode;
  context.fields.channel = settings.ChannelID;
  context.fields.sub_channel = settings.SubChannelID;
  context.fields.time = UnixTimeNow();
  context.fetch = [](const std::u16string& url) { return FetchUncached(url); };
  context.device_id = [] { return getdiskid::GetDeviceIdText(); };
  return context;
}

void SendReport(std::u16string_view event, ReportContext context) {
  context.fields.event = std::u16string(event);
  if (context.device_id) context.fields.device_id = context.device_id();
  // Each request's outcome is ignored: the second goes out even when the first failed.
  if (const auto data_url = DataCollectorUrl(context.data_base, context.fields)) {
    context.fetch(*data_url);
  }
  context.fetch(StatsCollectorUrl(context.stats_base, context.fields));
}

namespace {

// Never destroyed: after a drain that ran out, the thread may still be in a request while the
// process ends.
ReportQueue& ProcessReportQueue() {
  static ReportQueue& queue = *new ReportQueue;
  return queue;
}

}  // namespace

void QueueReport(std::u16string_view event) {
  ProcessReportQueue().Queue(std::u16string(event), CurrentReportContext());
}

bool DrainReports(std::chrono::milliseconds bound) {
  return ProcessReportQueue().Drain(bound);
}

}  // namespace fernlite
