// Event reports: one event code sent to both collectors, the data collector in scrambled form
// and the statistics endpoint in plain form. Queued for the reporting thread, fire-and-forget.
#pragma once

#include <chrono>
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
  // When set, read by SendReport into fields.device_id, once for both urls.
  std::function<std::u16string()> device_id;
};

// The context of this process: launcher version, run settings, the clock and the configured
// hosts read now; the device identifier left to the sender (it is the same for the whole
// process, and its first computation is slow); the uncached fetch.
ReportContext CurrentReportContext();

// Both requests of one event, data collector first, each result ignored; returns when both
// have ended.
void SendReport(std::u16string_view event, ReportContext context);

// How long the hand-over to an installed copy and the end of the process wait for queued
// reports: enough for a reachable collector to take both requests of an event on a slow line,
// short enough that a dead or stalled one does not keep a finished process around.
inline constexpr std::chrono::milliseconds kReportDrainBound{3000};

// Reads this process's values now and queues `event` for the reporting thread; returns at once.
// Events go out in the order they were queued.
void QueueReport(std::u16string_view event);

// Waits until every queued event has been sent or `bound` has passed; true when all were sent.
// The reporting thread may still be in a request afterwards; the process can end regardless.
bool DrainReports(std::chrono::milliseconds bound = kReportDrainBound);

// Seconds since 1970-01-01 UTC, as the reports send it (unsigned 32-bit).
std::uint32_t UnixTimeNow();

}  // namespace fernlite
