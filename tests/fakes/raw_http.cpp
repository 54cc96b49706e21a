#include "fakes/raw_http.h"

#include <cstdlib>

#include "platform/text.h"

namespace fernlite::test {

RawResponse ParseRawResponse(const std::string& bytes) {
  RawResponse response;
  const size_t line_end = bytes.find("\r\n");
  const size_t blank = bytes.find("\r\n\r\n");
  if (line_end == std::string::npos || blank == std::string::npos) return response;
  const std::string status_line = bytes.substr(0, line_end);
  const size_t space = status_line.find(' ');
  if (status_line.rfind("HTTP/1.", 0) != 0 || space == std::string::npos) return response;
  response.status = std::atoi(status_line.c_str() + space + 1);
  response.headers = bytes.substr(line_end + 2, blank + 2 - (line_end + 2));
  response.body = bytes.substr(blank + 4);
  return response;
}

bool FindHeader(const std::string& headers, std::string_view name, std::string* value) {
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    const std::string_view line(headers.data() + start, end - start);
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos &&
        EqualsNoCase(AsciiToU16(line.substr(0, colon)), AsciiToU16(name))) {
      std::string_view rest = line.substr(colon + 1);
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      if (value) *value = std::string(rest);
      return true;
    }
    start = end + 2;
  }
  return false;
}

}  // namespace fernlite::test
