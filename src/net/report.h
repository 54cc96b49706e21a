// Event reports: one event code sent to both collectors, the data collector in scrambled form
// and the statistics endpoint in plain form. Blocking, fire-and-forget.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// Longest url the data collector request may have.
inline constexpr size_t kMaxReportUrlChars = 259;

// The values one report sends, read once so both requests carry the same ones.
struct ReportFields {
  std::u16string event;
  std::u16string version;
  std::u16string game_code;
  std::u16string channel;
  std::u16string sub_channel;
  std::u16string device_id;
  std::uint32_t time = 0;
};

// "app=jk&t=wd&ev=...&etm=..." as bytes, before scrambling.
std::string DataQueryText(const ReportFields& fields);
// base + "/jk/1.html?" + scrambled query; nullopt when it would exceed kMaxReportUrlChars.
std::optional<std::u16string> DataCollectorUrl(std::u16string_view base,
                                               const ReportFields& fields);
// base + "/wd.php?app=game&evt=jk&pos=wd&f=client&stat=..."
std::u16string StatsCollectorUrl(std::u16string_view base, const ReportFields& fields);

// Everything a report needs from the outside.
struct ReportContext {
  std::u16string data_base;
  std::u16string stats_base;
  ReportFields fields;  // event filled in by SendReport
  std::function<bool(const std::u16string& url)> fetch;
};

// The context of this process: launcher version, run settings, device identifier, the clock,
// the configured hosts and the uncached fetch.
ReportContext CurrentReportContext();

void SendReport(std::u16string_view event, ReportContext context);

// Sends `event` to both collectors and returns when both requests have ended.
void Report(std::u16string_view event);

// Seconds since 1970-01-01 UTC, as the reports send it (unsigned 32-bit).
std::uint32_t UnixTimeNow();

}  // namespace fernlite
