#include "identity/device_id.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "identity/device_id_platform.h"
#include "identity/md5.h"
#include "platform/process.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace getdiskid {
namespace {

// Character classes of the C library in the "C" locale, safe for any byte value.
bool IsSpaceC(unsigned char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsPrintC(unsigned char c) {
  return c >= 0x20 && c <= 0x7e;
}
bool IsAlnumC(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
unsigned char LowerC(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Text up to the first zero byte, as a C string copy would see it.
std::string_view CText(std::string_view field) {
  const size_t end = field.find('\0');
  return end == std::string_view::npos ? field : field.substr(0, end);
}

char g_serial[kScratchSize];
char g_model[kScratchSize];

// The process-wide instance and the cache GetDeviceId serves from. Never destroyed: a thread
// that outlives main() may still read the identifier.
struct DeviceIdCache {
  std::mutex mutex;
  CDiskidQuery query;
  std::u16string digest;
  std::u16string raw;
};

DeviceIdCache& Cache() {
  static DeviceIdCache& cache = *new DeviceIdCache;
  return cache;
}

std::string WordsToText(const std::uint32_t (&words)[256], int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) {
    text += static_cast<char>((words[i] >> 8) & 0xff);
    text += static_cast<char>(words[i] & 0xff);
  }
  TrimTrailingWhiteSpace(text);
  return text;
}

}  // namespace

// ---- Adapter choice ----

std::u16string FormatPhysicalAddress(const std::vector<unsigned char>& address) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string text;
  for (unsigned char b : address) {
    text += kHex[b >> 4];
    text += kHex[b & 0x0f];
  }
  return text;
}

bool IsVirtualAdapter(const std::optional<std::u16string>& description) {
  if (!description) return false;
  const std::u16string& text = *description;
  return fernlite::StartsWithNoCase(text, u"VMware") ||
         text.find(u"VMnet") != std::u16string::npos ||
         fernlite::StartsWithNoCase(text, u"VirtualBox");
}

bool IsPciInstanceId(std::string_view pnp_instance_id) {
  return pnp_instance_id.size() >= 3 && LowerC(pnp_instance_id[0]) == 'p' &&
         LowerC(pnp_instance_id[1]) == 'c' && LowerC(pnp_instance_id[2]) == 'i';
}

std::u16string ChooseAdapterText(const std::vector<AdapterRecord>& adapters,
                                 const std::function<bool(const AdapterRecord&)>& is_pci) {
  std::u16string fallback;
  for (const AdapterRecord& adapter : adapters) {
    const std::u16string candidate = FormatPhysicalAddress(adapter.physical_address);
    // An all-zero address is what a PCI card shows before its driver has read the real one.
    if (is_pci(adapter) && candidate != u"000000000000") return candidate;
    if (!IsVirtualAdapter(adapter.description) && !candidate.empty() && fallback.empty()) {
      fallback = candidate;
    }
  }
  return fallback;
}

// ---- Composition ----

std::u16string ComposeRawIdentifier(std::u16string_view adapter_text,
                                    std::u16string_view disk_text) {
  std::u16string raw = u"ND-";
  raw += adapter_text;
  raw += u'-';
  raw += disk_text;
  return raw;
}

bool CDiskidQuery::Query(std::u16string* digest, std::u16string* raw) {
  const DevicePlatform& machine = fernlite::Platform<DevicePlatform>();
  adapter_text_ = ChooseAdapterText(machine.read_adapters(), machine.is_pci);
  disk_text_ = fernlite::FromAnsi(machine.read_disk_serial());
  if (disk_text_.empty()) {
    if (std::optional<std::u16string> guid = machine.read_machine_guid()) disk_text_ = *guid;
  }
  raw_identifier_ = ComposeRawIdentifier(adapter_text_, disk_text_);
  fernlite::WriteDebugLine(u"newuserid:");
  fernlite::WriteDebugLine(raw_identifier_);

  // The digest covers as many ANSI bytes as the identifier has characters; identifiers
  // already handed out were computed that way.
  const std::string ansi = fernlite::ToAnsi(raw_identifier_);
  digest_ = fernlite::AsciiToU16(
      fernlite::Md5Hex(std::string_view(ansi).substr(0, raw_identifier_.size())));

  if (digest) *digest = digest_;
  if (raw) *raw = raw_identifier_;
  return digest && raw && !digest_.empty();
}

char16_t* GetDeviceId(char16_t* buffer, size_t capacity) {
  DeviceIdCache& cache = Cache();
  // Whichever thread asks first computes it; the others wait and then read.
  std::lock_guard lock(cache.mutex);
  if (cache.digest.empty()) {
    cache.digest.clear();
    cache.raw.clear();
    cache.query.Query(&cache.digest, &cache.raw);
  }
  if (buffer && !cache.digest.empty() && capacity > cache.digest.size()) {
    std::copy(cache.digest.begin(), cache.digest.end(), buffer);
    buffer[cache.digest.size()] = u'\0';
  }
  return buffer;
}

std::u16string GetDeviceIdText() {
  char16_t buffer[260] = {};
  GetDeviceId(buffer, 260);
  return buffer;
}

// ---- Disk serial scratch state ----

void ClearSerialBuffer() {
  g_serial[0] = '\0';
}
const char* AcceptedSerial() {
  return g_serial;
}
const char* AcceptedModel() {
  return g_model;
}

void TrimTrailingWhiteSpace(std::string& field) {
  for (size_t i = field.size(); i-- > 1;) {
    if (!IsSpaceC(static_cast<unsigned char>(field[i]))) break;
    field[i] = '\0';
  }
}

bool AcceptSerial(std::string_view serial_field, std::string_view model_field) {
  if (g_serial[0] != '\0') return false;
  const auto at = [&](size_t i) {
    return i < serial_field.size() ? static_cast<unsigned char>(serial_field[i]) : 0;
  };
  if (!IsAlnumC(at(0)) && !IsAlnumC(at(19))) return false;
  const std::string_view serial = CText(serial_field);
  const std::string_view model = CText(model_field);
  if (serial.size() >= kScratchSize || model.size() >= kScratchSize) return false;
  std::memcpy(g_serial, serial.data(), serial.size());
  g_serial[serial.size()] = '\0';
  std::memcpy(g_model, model.data(), model.size());
  g_model[model.size()] = '\0';
  return true;
}

// ---- IDENTIFY data ----

IdentifyText ExtractIdentifyText(const std::uint32_t (&words)[256]) {
  IdentifyText text;
  text.serial = WordsToText(words, 10, 19);
  text.model = WordsToText(words, 27, 46);
  text.firmware = WordsToText(words, 23, 26);
  return text;
}

void ParseIdentifyData(int /*drive*/, const std::uint32_t (&words)[256]) {
  const IdentifyText text = ExtractIdentifyText(words);
  AcceptSerial(text.serial, text.model);
}

void ParseIdentifyBlock(int drive, const unsigned char* block512) {
  std::uint32_t words[256];
  for (int i = 0; i < 256; ++i) {
    words[i] = static_cast<std::uint32_t>(block512[2 * i]) |
               (static_cast<std::uint32_t>(block512[2 * i + 1]) << 8);
  }
  ParseIdentifyData(drive, words);
}

// ---- Storage descriptor strings ----

std::string DecodeDescriptorString(std::string_view descriptor, long offset, bool swap_pairs) {
  if (offset <= 0 || static_cast<unsigned long>(offset) >= descriptor.size()) return {};
  const std::string_view text = CText(descriptor.substr(static_cast<size_t>(offset)));

  // Decoded bytes may include zeros (from "00" or blanks); they end the text only after the
  // pair swap below, as they would in a C buffer.
  std::string out;
  bool ok = true;
  unsigned value = 0;
  int digits = 0;
  for (char raw : text) {
    unsigned char c = LowerC(static_cast<unsigned char>(raw));
    if (IsSpaceC(c)) c = '0';
    unsigned nibble;
    if (c >= '0' && c <= '9') {
      nibble = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      nibble = c - 'a' + 10;
    } else {
      ok = false;
      break;
    }
    value = (value << 4) | nibble;
    if (++digits == 2) {
      const unsigned char byte = static_cast<unsigned char>(value & 0xff);
      if (byte != 0 && !IsPrintC(byte)) {
        ok = false;
        break;
      }
      out += static_cast<char>(byte);
      value = 0;
      digits = 0;
    }
  }
  if (!ok) {
    out.clear();
    for (char raw : text) {
      if (!IsPrintC(static_cast<unsigned char>(raw))) return {};
      out += raw;
    }
  }

  if (swap_pairs) {
    // With an odd length the last character trades places with the terminator.
    out += '\0';
    for (size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  }
  return std::string(CText(out));
}

// ---- Linux device files ----

std::vector<unsigned char> ParseMacAddressText(std::string_view text) {
  std::vector<unsigned char> bytes;
  unsigned value = 0;
  int digits = 0;
  for (char c : text) {
    int nibble = -1;
    if (c >= '0' && c <= '9') nibble = c - '0';
    if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
    if (nibble >= 0) {
      value = (value << 4) | static_cast<unsigned>(nibble);
      if (++digits == 2) {
        bytes.push_back(static_cast<unsigned char>(value));
        value = 0;
        digits = 0;
      }
    } else if (c != ':' && c != '\n') {
      return {};
    }
  }
  return digits == 0 ? bytes : std::vector<unsigned char>();
}

std::string StripAttributeLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

std::string SerialFromVpdPage80(std::string_view page) {
  if (page.size() <= 4) return {};
  const size_t length = (static_cast<size_t>(static_cast<unsigned char>(page[2])) << 8) |
                        static_cast<unsigned char>(page[3]);
  return std::string(page.substr(4, std::min(length, page.size() - 4)));
}

}  // namespace getdiskid
