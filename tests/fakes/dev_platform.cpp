#include "fakes/dev_platform.h"

#include "platform/files.h"
#include "platform/text.h"

namespace fernlite::test {

std::u16string DevPlatform::base_url() const {
  return AsciiToU16("http://127.0.0.1:" + std::to_string(port_));
}

std::vector<std::string> DevPlatform::LogLines() const {
  std::vector<std::string> lines;
  const std::optional<std::string> text = ReadFileBytes(log_path());
  if (!text) return lines;
  size_t start = 0;
  // A line without its newline is still being written.
  for (size_t end = text->find('\n'); end != std::string::npos; end = text->find('\n', start)) {
    lines.push_back(text->substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

int ParseListeningLine(const std::string& line) {
  constexpr std::string_view kPrefix = "listening on http://127.0.0.1:";
  if (line.rfind(kPrefix, 0) != 0) return 0;
  int port = 0;
  size_t i = kPrefix.size();
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && port <= 65535; ++i) {
    port = port * 10 + (line[i] - '0');
  }
  const bool ends_clean = i == line.size() || line[i] == '\n' || line[i] == '\r';
  return ends_clean && port > 0 && port <= 65535 ? port : 0;
}

}  // namespace fernlite::test
