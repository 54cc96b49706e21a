// Windows side of the machine identifier: IP Helper adapter list, the PnP instance id of each
// adapter, ATA IDENTIFY data or storage descriptors of the physical drives, MachineGuid.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ntddscsi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "identity/device_id.h"
#include "identity/device_id_platform.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace getdiskid {
namespace {

// Not in the MinGW headers: the identify request of the SCSI miniport's disk interface.
constexpr DWORD kScsiMiniportIdentify = (0x1b << 16) + 0x0501;  // FILE_DEVICE_SCSI

constexpr int kMaxDrives = 8;
constexpr int kMaxScsiPorts = 16;
constexpr DWORD kIdentifySize = 512;
// SENDCMDOUTPARAMS without its one-byte data placeholder: buffer size plus driver status.
constexpr DWORD kSendCmdOutHeader = 16;
constexpr DWORD kSendCmdInSize = sizeof(SENDCMDINPARAMS) - 1;  // 32

static_assert(sizeof(GETVERSIONINPARAMS) == 24);
static_assert(sizeof(SENDCMDINPARAMS) == 33);
static_assert(sizeof(SRB_IO_CONTROL) == 28);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);

using GetAdaptersAddressesFn = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);

// Reads a zero-terminated string value into a 260-byte buffer; longer values are a failure.
bool ReadRegistryString(HKEY root, const char* key, REGSAM access, const char* value,
                        std::string* out) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key, 0, access, &handle) != ERROR_SUCCESS) return false;
  BYTE buffer[260] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LONG status = RegQueryValueExA(handle, value, nullptr, &type, buffer, &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  if (size == 0 || size > sizeof buffer) return false;
  const void* terminator = std::memchr(buffer, 0, size);
  if (!terminator) return false;
  out->assign(reinterpret_cast<const char*>(buffer), static_cast<const BYTE*>(terminator) - buffer);
  return true;
}

HANDLE OpenDevice(const char* path, DWORD access, DWORD share) {
  return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::string PhysicalDrivePath(int drive) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", drive);
  return path;
}

SENDCMDINPARAMS IdentifyCommand(BYTE command, BYTE drive) {
  SENDCMDINPARAMS in = {};
  in.cBufferSize = kIdentifySize;
  in.irDriveRegs.bFeaturesReg = 0;
  in.irDriveRegs.bSectorCountReg = 1;
  in.irDriveRegs.bSectorNumberReg = 0;
  in.irDriveRegs.bCylLowReg = 0;
  in.irDriveRegs.bCylHighReg = 0;
  in.irDriveRegs.bDriveHeadReg = (drive & 1) ? 0xB0 : 0xA0;
  in.irDriveRegs.bCommandReg = command;
  in.bDriveNumber = drive;
  return in;
}

// SMART IDENTIFY on each physical drive (needs administrator rights).
bool QueryDrivesBySmart() {
  bool any = false;
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE handle = OpenDevice(PhysicalDrivePath(drive).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (handle == INVALID_HANDLE_VALUE) continue;
    GETVERSIONINPARAMS version = {};
    DWORD returned = 0;
    DeviceIoControl(handle, SMART_GET_VERSION, nullptr, 0, &version, sizeof version, &returned,
                    nullptr);
    if (version.bIDEDeviceMap != 0) {
      // ATAPI devices (bit 4 of their nibble) answer IDENTIFY PACKET DEVICE only.
      const BYTE command = ((version.bIDEDeviceMap >> drive) & 0x10) ? ATAPI_ID_CMD : ID_CMD;
      SENDCMDINPARAMS in = IdentifyCommand(command, static_cast<BYTE>(drive));
      BYTE out[kSendCmdOutHeader + kIdentifySize] = {};
      if (DeviceIoControl(handle, SMART_RCV_DRIVE_DATA, &in, kSendCmdInSize, out, sizeof out,
                          &returned, nullptr)) {
        ParseIdentifyBlock(drive, out + kSendCmdOutHeader);
        any = true;
      }
    }
    CloseHandle(handle);
  }
  return any;
}

// IDENTIFY through the SCSI miniport of each SCSI port, targets 0 and 1.
bool QueryDrivesByScsiMiniport() {
  constexpr DWORD kInputSize = sizeof(SRB_IO_CONTROL) + kSendCmdInSize;  // 60
  constexpr DWORD kOutputSize =
      sizeof(SRB_IO_CONTROL) + kSendCmdOutHeader + 1 + kIdentifySize;  // 557
  static_assert(kInputSize == 60 && kOutputSize == 557);
  bool any = false;
  for (int port = 0; port < kMaxScsiPorts; ++port) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\Scsi%d:", port);
    HANDLE handle =
        OpenDevice(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (handle == INVALID_HANDLE_VALUE) continue;
    for (int target = 0; target < 2; ++target) {
      alignas(8) BYTE buffer[kOutputSize] = {};
      SRB_IO_CONTROL header = {};
      header.HeaderLength = sizeof(SRB_IO_CONTROL);
      std::memcpy(header.Signature, "SCSIDISK", 8);
      header.Timeout = 10000;
      header.ControlCode = kScsiMiniportIdentify;
      header.Length = kSendCmdOutHeader + 1 + kIdentifySize;  // 529
      SENDCMDINPARAMS in = {};
      in.irDriveRegs.bCommandReg = ID_CMD;
      in.bDriveNumber = static_cast<BYTE>(target);
      std::memcpy(buffer, &header, sizeof header);
      std::memcpy(buffer + sizeof header, &in, kSendCmdInSize);
      DWORD returned = 0;
      if (DeviceIoControl(handle, IOCTL_SCSI_MINIPORT, buffer, kInputSize, buffer, kOutputSize,
                          &returned, nullptr)) {
        const BYTE* block = buffer + sizeof(SRB_IO_CONTROL) + kSendCmdOutHeader;
        if (block[54] != 0) {  // model text present
          ParseIdentifyBlock(port * 2 + target, block);
          any = true;
        }
      }
    }
    CloseHandle(handle);
  }
  return any;
}

// Storage device descriptor of each physical drive; works without administrator rights.
bool QueryDrivesByStorageProperty() {
  constexpr DWORD kBufferSize = 10000;
  bool accepted = false;
  std::vector<char> buffer(kBufferSize);
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE handle =
        OpenDevice(PhysicalDrivePath(drive).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (handle == INVALID_HANDLE_VALUE) continue;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::fill(buffer.begin(), buffer.end(), '\0');
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                        kBufferSize, &returned, nullptr)) {
      STORAGE_DEVICE_DESCRIPTOR descriptor;
      std::memcpy(&descriptor, buffer.data(), sizeof descriptor);
      const std::string_view view(buffer.data(), buffer.size());
      const auto offset = [](DWORD value) {
        return value > 0x7fffffffUL ? -1L : static_cast<long>(value);
      };
      const std::string product =
          DecodeDescriptorString(view, offset(descriptor.ProductIdOffset), false);
      const std::string serial =
          DecodeDescriptorString(view, offset(descriptor.SerialNumberOffset), true);
      if (AcceptSerial(serial, product)) accepted = true;
    }
    DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, buffer.data(),
                    kBufferSize, &returned, nullptr);
    CloseHandle(handle);
  }
  return accepted;
}

// SMART IDENTIFY with a bare request block, for drivers that reject the full one.
bool QueryDrivesBySmartShared() {
  constexpr DWORD kBlockSize = sizeof(SENDCMDINPARAMS) + kIdentifySize;  // 545
  static_assert(kBlockSize == 545);
  bool any = false;
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE handle = OpenDevice(PhysicalDrivePath(drive).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (handle == INVALID_HANDLE_VALUE) continue;
    GETVERSIONINPARAMS version = {};
    DWORD returned = 0;
    if (DeviceIoControl(handle, SMART_GET_VERSION, nullptr, 0, &version, sizeof version, &returned,
                        nullptr)) {
      alignas(8) BYTE block[kBlockSize] = {};
      SENDCMDINPARAMS in = {};
      in.irDriveRegs.bCommandReg = ID_CMD;
      std::memcpy(block, &in, sizeof in);
      if (DeviceIoControl(handle, SMART_RCV_DRIVE_DATA, block, sizeof(SENDCMDINPARAMS), block,
                          kBlockSize, &returned, nullptr)) {
        ParseIdentifyBlock(drive, block + kSendCmdOutHeader);
        any = true;
      }
    }
    CloseHandle(handle);
  }
  return any;
}

// Windows 9x: the IDE21201 helper driver fills a table with the IDENTIFY data of up to eight
// disks on four controllers.
#pragma pack(push, 1)
struct LegacyIdeTable {
  BYTE controller_present[4];
  BYTE disk_present[8];
  BYTE identify[8][kIdentifySize];
};
#pragma pack(pop)
static_assert(sizeof(LegacyIdeTable) == 4108);

bool QueryDrivesByLegacyDriver() {
  SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
  bool any = false;
  HANDLE handle =
      CreateFileA("\\\\.\\IDE21201.VXD", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    LegacyIdeTable table = {};
    DWORD returned = 0;
    DeviceIoControl(handle, 1, nullptr, 0, &table, sizeof table, &returned, nullptr);
    for (int disk = 0; disk < 8; ++disk) {
      if (table.disk_present[disk] && table.controller_present[disk / 2]) {
        ParseIdentifyBlock(disk, table.identify[disk]);
        any = true;
      }
    }
    CloseHandle(handle);
  }
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  return any;
}

std::vector<AdapterRecord> ReadAdapters() {
  std::vector<AdapterRecord> adapters;
  HMODULE library = LoadLibraryA("iphlpapi.dll");
  if (!library) return adapters;
  const auto get_adapters = reinterpret_cast<GetAdaptersAddressesFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "GetAdaptersAddresses")));
  if (!get_adapters) {
    FreeLibrary(library);
    return adapters;
  }
  HANDLE heap = GetProcessHeap();
  ULONG size = 15000;
  void* buffer = HeapAlloc(heap, 0, size);
  ULONG status = ERROR_NOT_ENOUGH_MEMORY;
  for (int call = 0; call < 3 && buffer; ++call) {
    status = get_adapters(AF_INET, GAA_FLAG_INCLUDE_PREFIX, nullptr,
                          static_cast<PIP_ADAPTER_ADDRESSES>(buffer), &size);
    if (status != ERROR_BUFFER_OVERFLOW || call == 2) break;
    HeapFree(heap, 0, buffer);
    buffer = HeapAlloc(heap, 0, size);
  }
  if (buffer && status == ERROR_SUCCESS) {
    for (auto* it = static_cast<PIP_ADAPTER_ADDRESSES>(buffer); it; it = it->Next) {
      AdapterRecord record;
      if (it->AdapterName) record.name = it->AdapterName;
      if (it->Description) record.description = fernlite::FromWide(it->Description);
      const ULONG length = it->PhysicalAddressLength <= MAX_ADAPTER_ADDRESS_LENGTH
                               ? it->PhysicalAddressLength
                               : MAX_ADAPTER_ADDRESS_LENGTH;
      record.physical_address.assign(it->PhysicalAddress, it->PhysicalAddress + length);
      adapters.push_back(std::move(record));
    }
  }
  if (buffer) HeapFree(heap, 0, buffer);
  FreeLibrary(library);
  return adapters;
}

bool IsPci(const AdapterRecord& adapter) {
  const std::string key =
      "system\\CurrentControlSet\\control\\Network\\"
      "{4D36E972-E325-11CE-BFC1-08002BE10318}\\" +
      adapter.name + "\\Connection";
  std::string instance;
  return ReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ, "PnpInstanceID",
                            &instance) &&
         IsPciInstanceId(instance);
}

std::string ReadDiskSerial() {
  ClearSerialBuffer();
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  // Every current system is NT; only a successful answer of another platform takes the
  // Windows 9x path.
  const bool legacy = GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT;
  if (!legacy) {
    // Methods 1, 2 and 4 stop the search once any drive answered, accepted or not.
    if (!QueryDrivesBySmart() && !QueryDrivesByScsiMiniport() && !QueryDrivesByStorageProperty()) {
      QueryDrivesBySmartShared();
    }
  } else {
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (QueryDrivesByLegacyDriver() || AcceptedSerial()[0] != '\0') break;
    }
  }
  return AcceptedSerial();
}

std::optional<std::u16string> ReadMachineGuid() {
  std::string guid;
  if (!ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography",
                          KEY_READ | KEY_WOW64_64KEY, "MachineGuid", &guid)) {
    return std::nullopt;
  }
  return fernlite::FromAnsi(guid);
}

}  // namespace

const DevicePlatform& NativeDevicePlatform() {
  static const DevicePlatform& table =
      *new DevicePlatform{&ReadAdapters, &IsPci, &ReadDiskSerial, &ReadMachineGuid};
  return table;
}

}  // namespace getdiskid
