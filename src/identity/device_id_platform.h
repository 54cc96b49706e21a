// What the machine identifier reads from the machine.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "identity/device_id.h"

namespace getdiskid {

struct DevicePlatform {
  static constexpr const char* kUnit = "device identity";
  // Adapters in the platform's order; empty when the list cannot be read.
  std::function<std::vector<AdapterRecord>()> read_adapters;
  std::function<bool(const AdapterRecord& adapter)> is_pci;
  // Offers every drive's serial to AcceptSerial (after ClearSerialBuffer); the accepted
  // serial in ANSI bytes, empty when no drive gave an acceptable one.
  std::function<std::string()> read_disk_serial;
  // The machine GUID text; nullopt on any failure.
  std::function<std::optional<std::u16string>()> read_machine_guid;
};

const DevicePlatform& NativeDevicePlatform();

}  // namespace getdiskid
