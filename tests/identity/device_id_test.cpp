#include "identity/device_id.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <iostream>
#include <set>

#include "identity/device_id_platform.h"
#include "identity/md5.h"
#include "platform/process_platform.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace getdiskid {
namespace {

// Recorded machine: adapters, PCI adapter names, a disk serial and a machine GUID. While it
// lives, the identifier reads this machine instead of the real one, and its debug lines are
// kept here.
class RecordedProbe {
 public:
  std::vector<AdapterRecord> adapters;
  std::set<std::string> pci_names;
  std::string disk_serial;
  std::optional<std::u16string> machine_guid;
  std::vector<std::u16string> debug_lines;
  int guid_reads = 0;

  std::function<bool(const AdapterRecord&)> IsPci() const {
    return [this](const AdapterRecord& adapter) { return pci_names.count(adapter.name) > 0; };
  }

 private:
  fernlite::ScopedPlatform<DevicePlatform> machine_{
      DevicePlatform{[this] { return adapters; }, IsPci(), [this] { return disk_serial; },
                     [this] {
                       ++guid_reads;
                       return machine_guid;
                     }}};
  fernlite::ScopedPlatform<fernlite::ProcessPlatform> debug_{[this] {
    fernlite::ProcessPlatform process = fernlite::Platform<fernlite::ProcessPlatform>();
    process.debug_line = [this](std::u16string_view line) { debug_lines.emplace_back(line); };
    return process;
  }()};
};

AdapterRecord Adapter(std::string name, std::optional<std::u16string> description,
                      std::vector<unsigned char> address) {
  return AdapterRecord{std::move(name), std::move(description), std::move(address)};
}

const std::vector<unsigned char> kRealtek = {0x00, 0xe0, 0x4c, 0x12, 0x34, 0x56};
const std::vector<unsigned char> kIntel = {0x3c, 0x97, 0x0e, 0xab, 0xcd, 0xef};
const std::vector<unsigned char> kVmnet = {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08};
const std::vector<unsigned char> kZero = {0, 0, 0, 0, 0, 0};

TEST(AdapterChoice, PciCardWinsOverEarlierAdapters) {
  RecordedProbe probe;
  probe.adapters = {
      Adapter("{VM8}", u"VMware Virtual Ethernet Adapter for VMnet8", kVmnet),
      Adapter("{USB}", u"USB 2.0 Ethernet", kIntel),
      Adapter("{PCI}", u"Realtek PCIe GBE Family Controller", kRealtek),
  };
  probe.pci_names = {"{PCI}"};
  EXPECT_EQ(ChooseAdapterText(probe.adapters, probe.IsPci()), u"00E04C123456");
}

TEST(AdapterChoice, WithoutPciFirstNonVirtualAddressIsUsed) {
  RecordedProbe probe;
  probe.adapters = {
      Adapter("{VM1}", u"vmware virtual ethernet adapter for VMnet1", kVmnet),
      Adapter("{VB}", u"VirtualBox Host-Only Ethernet Adapter", kVmnet),
      Adapter("{PPP}", std::nullopt, {}),
      Adapter("{USB}", u"USB 2.0 Ethernet", kIntel),
      Adapter("{WIFI}", u"Wireless", kRealtek),
  };
  EXPECT_EQ(ChooseAdapterText(probe.adapters, probe.IsPci()), u"3C970EABCDEF");
}

TEST(AdapterChoice, ZeroPciAddressIsOnlyAFallback) {
  RecordedProbe probe;
  probe.adapters = {Adapter("{A}", u"Intel(R) Ethernet", kZero),
                    Adapter("{B}", u"Realtek", kRealtek)};
  probe.pci_names = {"{A}", "{B}"};
  EXPECT_EQ(ChooseAdapterText(probe.adapters, probe.IsPci()), u"00E04C123456");

  probe.pci_names = {"{A}"};
  EXPECT_EQ(ChooseAdapterText(probe.adapters, probe.IsPci()), u"000000000000");

  EXPECT_EQ(ChooseAdapterText({}, probe.IsPci()), u"");
  probe.adapters = {Adapter("{VM}", u"VMware Network Adapter VMnet8", kVmnet)};
  EXPECT_EQ(ChooseAdapterText(probe.adapters, probe.IsPci()), u"");
}

TEST(AdapterChoice, VirtualDescriptions) {
  EXPECT_TRUE(IsVirtualAdapter(u"VMWARE Virtual Ethernet Adapter"));
  EXPECT_TRUE(IsVirtualAdapter(u"Intel adapter bridged to VMnet0"));
  EXPECT_FALSE(IsVirtualAdapter(u"Intel adapter bridged to vmnet0"));
  EXPECT_FALSE(IsVirtualAdapter(u"Intel adapter bridged to VMNET0"));
  EXPECT_TRUE(IsVirtualAdapter(u"virtualbox Host-Only Ethernet Adapter"));
  EXPECT_FALSE(IsVirtualAdapter(u"Oracle VirtualBox adapter"));
  EXPECT_FALSE(IsVirtualAdapter(u"VMwar"));
  EXPECT_FALSE(IsVirtualAdapter(std::nullopt));
}

TEST(AdapterChoice, AddressTextAndPciInstanceIds) {
  EXPECT_EQ(FormatPhysicalAddress({0xab, 0x01, 0xff}), u"AB01FF");
  EXPECT_EQ(FormatPhysicalAddress({}), u"");
  EXPECT_TRUE(IsPciInstanceId("PCI\\VEN_10EC&DEV_8168&SUBSYS_84321043"));
  EXPECT_TRUE(IsPciInstanceId("pCi\\VEN_8086"));
  EXPECT_FALSE(IsPciInstanceId("USB\\VID_0B95&PID_772B"));
  EXPECT_FALSE(IsPciInstanceId("ROOT\\NET\\0000"));
  EXPECT_FALSE(IsPciInstanceId("pc"));
}

// A storage descriptor as a drive returns it: a header, then zero-terminated texts.
std::string Descriptor(const std::string& text, size_t offset = 36) {
  std::string buffer(offset, '\x01');
  buffer += text;
  buffer.append(8, '\0');
  return buffer;
}

TEST(DescriptorString, HexAndPlainPasses) {
  EXPECT_EQ(DecodeDescriptorString(Descriptor("3533344a3844"), 36, false), "534J8D");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("3533344a3844"), 36, true), "35J4D8");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("3533344A3844"), 36, false), "534J8D");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("  WD-WCAV12345"), 36, false), "  WD-WCAV12345");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("  WD-WCAV12345"), 36, true), "  DWW-AC1V3254");
  // An odd digit at the end is dropped; a decoded control byte means the text was not hex.
  EXPECT_EQ(DecodeDescriptorString(Descriptor("35333"), 36, false), "53");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("0102"), 36, false), "0102");
  // Blanks count as zero digits, and a zero byte ends the text.
  EXPECT_EQ(DecodeDescriptorString(Descriptor("3 35"), 36, false), "05");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("35  35"), 36, false), "5");
  // Neither hex nor printable.
  EXPECT_EQ(DecodeDescriptorString(Descriptor("AB\tCD"), 36, false), "");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("SN\xc3\xa9"), 36, false), "");
}

TEST(DescriptorString, PairSwapDropsLastCharacterOfOddLength) {
  const std::string swapped = DecodeDescriptorString(Descriptor("S1234XY"), 36, true);
  EXPECT_EQ(swapped, "1S32X4");
  EXPECT_EQ(DecodeDescriptorString(Descriptor("X"), 36, true), "");
}

TEST(DescriptorString, OffsetsOutsideTheTextYieldNothing) {
  const std::string buffer = Descriptor("WD-123");
  EXPECT_EQ(DecodeDescriptorString(buffer, 0, false), "");
  EXPECT_EQ(DecodeDescriptorString(buffer, -4, false), "");
  EXPECT_EQ(DecodeDescriptorString(buffer, static_cast<long>(buffer.size()), false), "");
  // A text that runs to the end of the returned data stops there.
  const std::string unterminated = std::string(4, '\x01') + "ABCDEFGH";
  EXPECT_EQ(DecodeDescriptorString(std::string_view(unterminated).substr(0, 8), 4, false), "ABCD");
}

// IDENTIFY DEVICE data with the given texts, each word's first character in its high byte.
struct IdentifyWords {
  std::uint32_t words[256] = {};

  IdentifyWords(const std::string& serial, const std::string& model, const std::string& firmware) {
    Put(10, 20, serial);
    Put(27, 40, model);
    Put(23, 8, firmware);
    words[0] = 0x0040;  // fixed disk
  }
  void Put(int first_word, size_t width, std::string text) {
    text.resize(width, ' ');
    for (size_t i = 0; i < width; i += 2) {
      words[first_word + i / 2] =
          (static_cast<unsigned char>(text[i]) << 8) | static_cast<unsigned char>(text[i + 1]);
    }
  }
  // The 512 bytes a drive hands back (little-endian words).
  std::vector<unsigned char> Block() const {
    std::vector<unsigned char> block(512);
    for (int i = 0; i < 256; ++i) {
      block[2 * i] = static_cast<unsigned char>(words[i] & 0xff);
      block[2 * i + 1] = static_cast<unsigned char>(words[i] >> 8);
    }
    return block;
  }
};

TEST(IdentifyData, TextsAreTrimmedAtTheEndOnly) {
  const IdentifyWords drive("     WD-WCAV12345", "WDC WD5000AAKS-00V1A0", "01.03B01");
  const IdentifyText text = ExtractIdentifyText(drive.words);
  EXPECT_STREQ(text.serial.c_str(), "     WD-WCAV12345");
  EXPECT_EQ(text.serial.size(), 20u);
  EXPECT_STREQ(text.model.c_str(), "WDC WD5000AAKS-00V1A0");
  EXPECT_STREQ(text.firmware.c_str(), "01.03B01");

  // A blank field keeps its first character.
  const IdentifyText blank = ExtractIdentifyText(IdentifyWords("", "", "").words);
  EXPECT_EQ(blank.serial, std::string(" ") + std::string(19, '\0'));
}

TEST(IdentifyData, AcceptanceByFirstCharacterOrPosition19) {
  ClearSerialBuffer();
  ParseIdentifyData(0, IdentifyWords("   1234", "ST3500418AS", "CC38").words);
  EXPECT_STREQ(AcceptedSerial(), "");

  ParseIdentifyData(1, IdentifyWords("   12345678901234567", "ST3500418AS", "CC38").words);
  EXPECT_STREQ(AcceptedSerial(), "   12345678901234567");
  EXPECT_STREQ(AcceptedModel(), "ST3500418AS");

  // Later drives leave the first accepted serial alone.
  ParseIdentifyData(2, IdentifyWords("9VMQ2ABC", "ST31000", "CC38").words);
  EXPECT_STREQ(AcceptedSerial(), "   12345678901234567");
  EXPECT_STREQ(AcceptedModel(), "ST3500418AS");

  ClearSerialBuffer();
  const std::vector<unsigned char> block = IdentifyWords("9VMQ2ABC", "ST31000", "CC38").Block();
  ParseIdentifyBlock(3, block.data());
  EXPECT_STREQ(AcceptedSerial(), "9VMQ2ABC");
  EXPECT_STREQ(AcceptedModel(), "ST31000");
  ClearSerialBuffer();
}

TEST(IdentifyData, ScratchBuffersRefuseTextsThatDoNotFit) {
  ClearSerialBuffer();
  EXPECT_FALSE(AcceptSerial(std::string(kScratchSize, 'A'), "model"));
  EXPECT_FALSE(AcceptSerial("SERIAL", std::string(kScratchSize, 'M')));
  EXPECT_STREQ(AcceptedSerial(), "");
  const std::string longest(kScratchSize - 1, 'B');
  EXPECT_TRUE(AcceptSerial(longest, "model"));
  EXPECT_EQ(std::strlen(AcceptedSerial()), kScratchSize - 1);
  ClearSerialBuffer();
}

class Composition : public ::testing::Test {
 protected:
  RecordedProbe probe;
  std::u16string digest, raw;

  void SetUp() override {
    probe.adapters = {Adapter("{PCI}", u"Realtek PCIe GBE Family Controller", kRealtek)};
    probe.pci_names = {"{PCI}"};
  }
};

TEST_F(Composition, AdapterAndDiskSerial) {
  probe.disk_serial = "  WD-WCAV12345";
  probe.machine_guid = u"a0b1c2d3-0000-4000-8000-123456789abc";
  CDiskidQuery query;
  ASSERT_TRUE(query.Query(&digest, &raw));
  EXPECT_EQ(raw, u"ND-00E04C123456-  WD-WCAV12345");
  EXPECT_EQ(digest, fernlite::AsciiToU16(fernlite::Md5Hex("ND-00E04C123456-  WD-WCAV12345")));
  EXPECT_EQ(probe.guid_reads, 0);
  EXPECT_EQ(query.adapter_text(), u"00E04C123456");
  EXPECT_EQ(query.disk_text(), u"  WD-WCAV12345");
  EXPECT_EQ(query.digest(), digest);
  const std::vector<std::u16string> lines = {u"newuserid:", raw};
  EXPECT_EQ(probe.debug_lines, lines);
}

TEST_F(Composition, MissingSerialFallsBackToMachineGuid) {
  probe.machine_guid = u"a0b1c2d3-0000-4000-8000-123456789abc";
  CDiskidQuery query;
  ASSERT_TRUE(query.Query(&digest, &raw));
  EXPECT_EQ(raw, u"ND-00E04C123456-a0b1c2d3-0000-4000-8000-123456789abc");
  EXPECT_EQ(probe.guid_reads, 1);
}

TEST_F(Composition, MissingPartsKeepTheirSeparators) {
  CDiskidQuery query;
  ASSERT_TRUE(query.Query(&digest, &raw));
  EXPECT_EQ(raw, u"ND-00E04C123456-");

  probe.adapters.clear();
  probe.disk_serial = "1234";
  ASSERT_TRUE(query.Query(&digest, &raw));
  EXPECT_EQ(raw, u"ND--1234");

  probe.disk_serial.clear();
  ASSERT_TRUE(query.Query(&digest, &raw));
  EXPECT_EQ(raw, u"ND--");
  EXPECT_EQ(digest, u"7613b66c3a193c8e4e5dad4cda3fdad4");
}

TEST_F(Composition, OneMissingOutParameterIsNotASuccess) {
  CDiskidQuery query;
  EXPECT_FALSE(query.Query(&digest, nullptr));
  EXPECT_EQ(digest.size(), 32u);
  EXPECT_FALSE(query.Query(nullptr, &raw));
  EXPECT_EQ(raw, u"ND-00E04C123456-");
}

bool IsLowerHex32(const std::u16string& text) {
  if (text.size() != 32) return false;
  for (char16_t c : text) {
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
  }
  return true;
}

// On this machine: the identifier is cached, well formed, and a fresh computation from the
// hardware gives the same value.
TEST(DeviceIdOnThisMachine, StableWithinAndAcrossComputations) {
  char16_t first[260] = {};
  char16_t second[260] = {};
  EXPECT_EQ(GetDeviceId(first, 260), first);
  EXPECT_EQ(GetDeviceId(second, 260), second);
  const std::u16string id = first;
  EXPECT_TRUE(IsLowerHex32(id)) << fernlite::ToUtf8(id);
  EXPECT_EQ(id, std::u16string(second));
  EXPECT_EQ(GetDeviceIdText(), id);

  CDiskidQuery fresh;
  std::u16string digest, raw;
  ASSERT_TRUE(fresh.Query(&digest, &raw));
  EXPECT_EQ(digest, id) << "raw identifier: " << fernlite::ToUtf8(raw);
  EXPECT_EQ(raw.rfind(u"ND-", 0), 0u);
  std::cout << "raw identifier on this machine: " << fernlite::ToUtf8(raw) << "\n";

  char16_t small[32];
  std::fill(std::begin(small), std::end(small), u'#');
  GetDeviceId(small, 32);
  EXPECT_EQ(std::u16string(small, 32), std::u16string(32, u'#'));
}

}  // namespace
}  // namespace getdiskid
