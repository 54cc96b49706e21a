// Decoding and checking of the two event report queries, done here independently of the
// launcher's own code so the platform can judge what the launcher really sent.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fernlite::devplatform {

using QueryFields = std::vector<std::pair<std::string, std::string>>;

// Strict standard Base64: whole groups of four, '=' only as final padding, nothing outside
// the alphabet. nullopt on any deviation.
std::optional<std::string> DecodeBase64Strict(std::string_view text);

// Undoes the report scramble: each byte minus the matching byte of "mordek_tyl", mod 256.
std::string UnscrambleReport(std::string_view scrambled);

// Splits a&b=c into ordered pairs at '&' and the first '='; values are taken as they are.
QueryFields SplitQuery(std::string_view query);

// Empty when the fields follow the data collector's layout, else what is wrong.
std::string CheckDataReport(const QueryFields& fields);
// The same for the statistics collector.
std::string CheckStatsReport(const QueryFields& fields);

}  // namespace fernlite::devplatform
