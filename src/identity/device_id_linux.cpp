// Linux side of the machine identifier: interfaces from getifaddrs and sysfs, disk serials
// from ATA IDENTIFY (SG_IO) or sysfs, /etc/machine-id in place of the machine GUID.
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "identity/device_id.h"
#include "identity/device_id_platform.h"
#include "platform/text.h"

namespace getdiskid {
namespace {

namespace fs = std::filesystem;

// Reads at most limit bytes of a small file (sysfs attributes, machine-id). Returns false
// when the file cannot be read.
bool ReadSmallFile(const std::string& path, size_t limit, std::string* out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->assign(limit, '\0');
  size_t total = 0;
  bool ok = true;
  while (total < limit) {
    const ssize_t n = ::read(fd, out->data() + total, limit - total);
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  out->resize(total);
  return ok;
}

std::string SubsystemOf(const fs::path& device) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(device / "subsystem", ec);
  return ec ? std::string() : target.filename().string();
}

// Host-side virtual networks carry Windows-like descriptions so the virtual-adapter rule
// sees them the same way on both systems.
std::optional<std::u16string> DescribeInterface(const std::string& name) {
  if (name.rfind("vmnet", 0) == 0) {
    return u"VMware Virtual Ethernet Adapter for VMnet" + fernlite::FromUtf8(name.substr(5));
  }
  if (name.rfind("vboxnet", 0) == 0) return u"VirtualBox Host-Only Ethernet Adapter";
  return std::nullopt;
}

// ATA IDENTIFY DEVICE through an ATA PASS-THROUGH (16) command. Needs read access to the
// device node, which ordinary users usually lack.
bool IdentifyBySgIo(const std::string& device_node, unsigned char (&block)[512]) {
  const int fd = ::open(device_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char cdb[16] = {};
  cdb[0] = 0x85;    // ATA PASS-THROUGH (16)
  cdb[1] = 4 << 1;  // protocol: PIO data-in
  cdb[2] = 0x0e;    // data from device, length in sectors, taken from the count field
  cdb[6] = 1;       // one sector
  cdb[14] = 0xec;   // IDENTIFY DEVICE
  unsigned char sense[32] = {};
  std::memset(block, 0, sizeof block);
  sg_io_hdr_t io = {};
  io.interface_id = 'S';
  io.dxfer_direction = SG_DXFER_FROM_DEV;
  io.cmd_len = sizeof cdb;
  io.mx_sb_len = sizeof sense;
  io.dxfer_len = sizeof block;
  io.dxferp = block;
  io.cmdp = cdb;
  io.sbp = sense;
  io.timeout = 5000;
  const bool ok = ::ioctl(fd, SG_IO, &io) == 0 && io.status == 0 && io.host_status == 0 &&
                  io.driver_status == 0 && io.resid == 0;
  ::close(fd);
  return ok;
}

// Serial number the kernel exposes for a block device: NVMe and MMC controllers, virtio
// disks, and SCSI/SATA disks through their unit serial number page.
bool SysfsSerial(const fs::path& block_dir, std::string* serial) {
  std::string text;
  for (const char* attribute : {"device/serial", "serial"}) {
    if (ReadSmallFile((block_dir / attribute).string(), 4096, &text)) {
      text = StripAttributeLineEnd(text);
      if (!text.empty()) {
        *serial = text;
        return true;
      }
    }
  }
  if (ReadSmallFile((block_dir / "device/vpd_pg80").string(), 4096, &text)) {
    *serial = SerialFromVpdPage80(text);
    return !serial->empty();
  }
  return false;
}

// Physical block devices: SCSI/SATA disks first (the order drives are usually numbered on
// Windows), then the rest by name. Loop, RAM, device-mapper and other virtual devices sit
// under /sys/devices/virtual and are left out.
std::vector<std::string> PhysicalBlockDevices() {
  std::vector<std::string> disks;
  std::error_code ec;
  for (fs::directory_iterator it("/sys/block", ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code resolve_error;
    const fs::path resolved = fs::canonical(it->path(), resolve_error);
    if (resolve_error || resolved.string().find("/devices/virtual/") != std::string::npos) {
      continue;
    }
    disks.push_back(it->path().filename().string());
  }
  std::sort(disks.begin(), disks.end(), [](const std::string& a, const std::string& b) {
    const bool sa = a.rfind("sd", 0) == 0, sb = b.rfind("sd", 0) == 0;
    if (sa != sb) return sa;
    if (a.size() != b.size()) return a.size() < b.size();  // sdz before sdaa
    return a < b;
  });
  return disks;
}

bool QueryDrivesByAtaPassThrough(const std::vector<std::string>& disks) {
  bool any = false;
  for (const std::string& name : disks) {
    // sda to sdh, like the eight physical drives the Windows side asks.
    if (name.size() != 3 || name.compare(0, 2, "sd") != 0 || name[2] < 'a' || name[2] > 'h') {
      continue;
    }
    unsigned char block[512];
    if (IdentifyBySgIo("/dev/" + name, block)) {
      ParseIdentifyBlock(name[2] - 'a', block);
      any = true;
    }
  }
  return any;
}

bool QueryDrivesBySysfs(const std::vector<std::string>& disks) {
  for (const std::string& name : disks) {
    const fs::path dir = fs::path("/sys/block") / name;
    std::string serial;
    if (!SysfsSerial(dir, &serial)) continue;
    std::string model;
    if (ReadSmallFile((dir / "device/model").string(), 4096, &model))
      model = StripAttributeLineEnd(model);
    TrimTrailingWhiteSpace(serial);
    TrimTrailingWhiteSpace(model);
    if (AcceptSerial(serial, model)) return true;
  }
  return false;
}

std::vector<AdapterRecord> ReadAdapters() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::vector<std::string> names;
  std::map<std::string, std::vector<unsigned char>> packet_addresses;
  for (ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || !it->ifa_name) continue;
    const std::string name = it->ifa_name;
    if (it->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
      const size_t length = std::min<size_t>(link->sll_halen, sizeof link->sll_addr);
      packet_addresses[name].assign(link->sll_addr, link->sll_addr + length);
    } else if (it->ifa_addr->sa_family == AF_INET && !(it->ifa_flags & IFF_LOOPBACK) &&
               std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(name);
    }
  }
  ::freeifaddrs(list);

  std::vector<AdapterRecord> adapters;
  for (const std::string& name : names) {
    AdapterRecord record;
    record.name = name;
    record.description = DescribeInterface(name);
    std::string text;
    if (ReadSmallFile("/sys/class/net/" + name + "/address", 256, &text)) {
      record.physical_address = ParseMacAddressText(text);
    } else if (auto found = packet_addresses.find(name); found != packet_addresses.end()) {
      record.physical_address = found->second;
    }
    adapters.push_back(std::move(record));
  }
  return adapters;
}

// The interface's device sits on the PCI bus, directly or as a virtio function of a PCI
// device (Windows names those "PCI\..." too).
bool IsPci(const AdapterRecord& adapter) {
  if (adapter.name.empty() || adapter.name.find('/') != std::string::npos) return false;
  std::error_code ec;
  const fs::path device = fs::canonical("/sys/class/net/" + adapter.name + "/device", ec);
  if (ec) return false;
  const std::string subsystem = SubsystemOf(device);
  if (subsystem == "pci") return true;
  return subsystem == "virtio" && SubsystemOf(device.parent_path()) == "pci";
}

std::string ReadDiskSerial() {
  ClearSerialBuffer();
  const std::vector<std::string> disks = PhysicalBlockDevices();
  if (!QueryDrivesByAtaPassThrough(disks)) QueryDrivesBySysfs(disks);
  return AcceptedSerial();
}

std::optional<std::u16string> ReadMachineGuid() {
  // Same limit as the 260-byte registry buffer on Windows: longer content is a failure.
  std::string text;
  if (!ReadSmallFile("/etc/machine-id", 260, &text) || text.size() >= 260) return std::nullopt;
  text = StripAttributeLineEnd(text);
  if (text.empty() || text.find('\0') != std::string::npos) return std::nullopt;
  return fernlite::FromAnsi(text);
}

}  // namespace

const DevicePlatform& NativeDevicePlatform() {
  static const DevicePlatform& table =
      *new DevicePlatform{&ReadAdapters, &IsPci, &ReadDiskSerial, &ReadMachineGuid};
  return table;
}

}  // namespace getdiskid
