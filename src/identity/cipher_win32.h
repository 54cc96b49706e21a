// Windows side of the record cipher, open to tests so that both ways of importing the key
// can be exercised whatever Windows version the process runs on.
#pragma once

#include <cstddef>

#include "identity/cipher.h"

namespace fernlite {

// How the key text becomes a provider key. Windows 2000 and earlier cannot import a plain
// key blob, so there the key is wrapped as a SIMPLEBLOB under an exchange key whose
// exponents are all one (encryption with it is the identity), kept in a named container.
enum class KeyImportPath { kPlainTextBlob, kExponentOfOneKey };

// The container the old-platform path creates or reopens, and leaves behind.
inline constexpr wchar_t kOldPlatformKeyContainer[] = L"VEXAPASSPORT";

// Windows 2000 or earlier according to GetVersionExW (XP is 5.1).
bool RunsOnOldPlatform();

// EncryptWithKeyText / DecryptWithKeyText with the import path chosen by the caller.
bool TransformWithKeyText(KeyImportPath path, CipherDirection direction, const char* key,
                          size_t key_length, const unsigned char* input, size_t input_length,
                          int mode, unsigned char* output, size_t* output_length);

}  // namespace fernlite
