#include "platform/key_value_store.h"

#include "platform/key_value_store_platform.h"
#include "platform/seam.h"

namespace fernlite {

std::optional<std::u16string> ReadStoreText(std::u16string_view group, std::u16string_view name) {
  return Platform<StorePlatform>().read(group, name);
}

bool WriteStoreText(std::u16string_view group, std::u16string_view name,
                    std::u16string_view value) {
  return Platform<StorePlatform>().write(group, name, value);
}

bool DeleteStoreValue(std::u16string_view group, std::u16string_view name) {
  return Platform<StorePlatform>().remove(group, name);
}

}  // namespace fernlite
