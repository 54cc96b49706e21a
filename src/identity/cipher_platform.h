// What the record cipher needs from the system: three-key triple DES with PKCS#5 padding.
#pragma once

#include <cstddef>
#include <functional>

#include "identity/cipher.h"

namespace fernlite {

struct CipherPlatform {
  static constexpr const char* kUnit = "cipher";
  // Called only with arguments that passed CipherArgumentsUsable; `output_length` holds the
  // capacity on entry and the result length on success.
  std::function<bool(CipherDirection direction, const char* key, size_t key_length,
                     const unsigned char* input, size_t input_length, int mode,
                     unsigned char* output, size_t* output_length)>
      transform;
};

const CipherPlatform& NativeCipherPlatform();

}  // namespace fernlite
