#include "platform/process.h"

#include "platform/process_platform.h"
#include "platform/seam.h"

namespace fernlite {

bool IsProcessRunning(std::u16string_view exe_name) {
  return Platform<ProcessPlatform>().is_running(exe_name);
}

bool StartProgram(const std::u16string& program, const std::u16string& parameters) {
  return Platform<ProcessPlatform>().start(program, parameters);
}

std::vector<std::u16string> ProcessArguments(int argc, char** argv) {
  return Platform<ProcessPlatform>().arguments(argc, argv);
}

std::optional<std::u16string> EnvironmentVariable(const char* name) {
  return Platform<ProcessPlatform>().environment(name);
}

void WriteDebugLine(std::u16string_view line) {
  Platform<ProcessPlatform>().debug_line(line);
}

std::u16string QuoteArgument(std::u16string_view element) {
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : element) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only in front of a quote, where each needs a partner.
    out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');  // the closing quote follows
  return out + u"\"";
}

std::vector<std::u16string> SplitArguments(std::u16string_view text) {
  std::vector<std::u16string> out;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    if (i == text.size()) return out;
    std::u16string element;
    bool quoted = false;
    while (i < text.size()) {
      const char16_t c = text[i];
      if (!quoted && (c == u' ' || c == u'\t')) break;
      if (c == u'\\') {
        size_t run = 0;
        for (; i < text.size() && text[i] == u'\\'; ++i) ++run;
        if (i < text.size() && text[i] == u'"') {
          // 2n backslashes and a quote: n backslashes, and the quote still counts as a quote.
          element.append(run / 2, u'\\');
          if (run % 2 == 1) {
            element += u'"';
            ++i;
          }
        } else {
          element.append(run, u'\\');
        }
        continue;
      }
      if (c == u'"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
          element += u'"';  // "" inside quotes is a literal quote
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      element += c;
      ++i;
    }
    out.push_back(std::move(element));
  }
}

}  // namespace fernlite
