// Machine identifier: "ND-" + network adapter address + "-" + disk serial (or machine GUID),
// digested with MD5. Computed once per process and cached; the machine is read through the
// DevicePlatform table (device_id_platform.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace getdiskid {

// One network adapter as the platform lists it.
struct AdapterRecord {
  std::string name;                           // Windows: adapter GUID text; Linux: interface name
  std::optional<std::u16string> description;  // absent when the platform gives none
  std::vector<unsigned char> physical_address;
};

class CDiskidQuery {
 public:
  CDiskidQuery() = default;
  virtual ~CDiskidQuery() = default;

  // Computes the raw identifier and its digest; copies them into the out-parameters (either
  // may be null). True when both copies were made and the digest is not empty.
  bool Query(std::u16string* digest, std::u16string* raw);

  const std::u16string& raw_identifier() const { return raw_identifier_; }
  const std::u16string& digest() const { return digest_; }
  const std::u16string& disk_text() const { return disk_text_; }
  const std::u16string& adapter_text() const { return adapter_text_; }

 private:
  std::u16string raw_identifier_;
  std::u16string digest_;
  std::u16string disk_text_;
  std::u16string adapter_text_;
};

// Writes the cached device identifier (32 lower-case hex digits and a terminator) into buffer
// and returns buffer. The first call computes it. The buffer stays untouched when capacity is
// below 33 characters or no identifier could be computed.
char16_t* GetDeviceId(char16_t* buffer, size_t capacity);
// The same identifier as a string (empty when none could be computed).
std::u16string GetDeviceIdText();

// ---- Building blocks, shared by the platform probes and exercised with recorded data ----

// Adapter choice: first PCI adapter whose address is not all zeros, else the first
// non-virtual adapter with an address, else empty. Address as upper-case hex, no separators.
std::u16string ChooseAdapterText(const std::vector<AdapterRecord>& adapters,
                                 const std::function<bool(const AdapterRecord&)>& is_pci);
std::u16string FormatPhysicalAddress(const std::vector<unsigned char>& address);
bool IsVirtualAdapter(const std::optional<std::u16string>& description);
// True when a Plug and Play instance id names the PCI bus ("pci" prefix, any case).
bool IsPciInstanceId(std::string_view pnp_instance_id);

// Raw identifier from its two parts (either may be empty).
std::u16string ComposeRawIdentifier(std::u16string_view adapter_text,
                                    std::u16string_view disk_text);

// Disk scratch state: the first accepted serial and its model, process-wide.
inline constexpr size_t kScratchSize = 1024;
void ClearSerialBuffer();
// Clears trailing white space of a fixed-width text field to zeros, from the end backwards,
// stopping at the first other byte; the first byte is never cleared.
void TrimTrailingWhiteSpace(std::string& field);
const char* AcceptedSerial();
const char* AcceptedModel();
// Acceptance rule: only while the serial buffer is empty, and only when the serial's first
// character or its position 19 is a letter or digit. The fields are raw (may hold zeros;
// text ends at the first zero). Returns true when the serial buffer now holds the serial.
// Texts that do not fit the scratch buffers are refused.
bool AcceptSerial(std::string_view serial_field, std::string_view model_field);

// IDENTIFY DEVICE block as 256 words: serial words 10-19, model 27-46, firmware 23-26, each
// word high byte first, trailing white space trimmed (never the first character). Offers
// the serial and model to AcceptSerial.
struct IdentifyText {
  std::string serial;    // 20 bytes, zeros where trimmed
  std::string model;     // 40 bytes
  std::string firmware;  // 8 bytes
};
IdentifyText ExtractIdentifyText(const std::uint32_t (&words)[256]);
void ParseIdentifyData(int drive, const std::uint32_t (&words)[256]);
// The same from the 512 bytes a drive returns (little-endian words).
void ParseIdentifyBlock(int drive, const unsigned char* block512);

// Text field of a storage device descriptor at offset inside descriptor: hex-encoded text is
// decoded, plain printable text is taken as is, anything else is empty. swap_pairs swaps each
// character pair; an odd length loses its last character.
std::string DecodeDescriptorString(std::string_view descriptor, long offset, bool swap_pairs);

// ---- Linux device files, read the same way on every build ----

// "aa:bb:cc:dd:ee:ff" as sysfs shows an interface address; empty for anything else.
std::vector<unsigned char> ParseMacAddressText(std::string_view text);
// A sysfs attribute's text without its line end (and trailing zero bytes).
std::string StripAttributeLineEnd(std::string text);
// The unit serial number of a SCSI VPD page 0x80 (four header bytes, the length in bytes 2
// and 3, then the serial); empty when there is none.
std::string SerialFromVpdPage80(std::string_view page);

}  // namespace getdiskid
