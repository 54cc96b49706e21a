#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "identity/cipher_win32.h"
#include "identity/cipher_platform.h"

namespace fernlite {
namespace {

constexpr BYTE kBlobVersion = CUR_BLOB_VERSION;

// Everything one call acquires; released in reverse order however the call ends.
struct CryptSession {
  HCRYPTPROV provider = 0;
  HCRYPTKEY exchange_key = 0;
  HCRYPTKEY key = 0;

  CryptSession() = default;
  CryptSession(const CryptSession&) = delete;
  CryptSession& operator=(const CryptSession&) = delete;
  ~CryptSession() {
    if (key != 0) CryptDestroyKey(key);
    if (exchange_key != 0) CryptDestroyKey(exchange_key);
    if (provider != 0) CryptReleaseContext(provider, 0);
  }
};

class WipedBuffer {
 public:
  explicit WipedBuffer(size_t size) : bytes_(size, 0) {}
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;
  ~WipedBuffer() {
    if (!bytes_.empty()) SecureZeroMemory(bytes_.data(), bytes_.size());
  }
  BYTE* data() { return bytes_.data(); }
  DWORD size() const { return static_cast<DWORD>(bytes_.size()); }

 private:
  std::vector<BYTE> bytes_;
};

void PutBlobHeader(BYTE* at, BYTE type, ALG_ID algorithm) {
  BLOBHEADER header{};
  header.bType = type;
  header.bVersion = kBlobVersion;
  header.reserved = 0;
  header.aiKeyAlg = algorithm;
  std::memcpy(at, &header, sizeof header);
}

void PutLittleEndian32(BYTE* at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

// A little-endian 1 over `length` bytes.
void PutOne(BYTE* at, size_t length) {
  std::memset(at, 0, length);
  at[0] = 1;
}

bool ImportPlainTextKey(CryptSession& session, const char* key, size_t key_length) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT)) {
    return false;
  }
  session.provider = provider;
  WipedBuffer blob(sizeof(BLOBHEADER) + sizeof(DWORD) + key_length);
  PutBlobHeader(blob.data(), PLAINTEXTKEYBLOB, CALG_3DES);
  PutLittleEndian32(blob.data() + sizeof(BLOBHEADER), static_cast<DWORD>(key_length));
  std::memcpy(blob.data() + sizeof(BLOBHEADER) + sizeof(DWORD), key, key_length);
  HCRYPTKEY imported = 0;
  if (!CryptImportKey(provider, blob.data(), blob.size(), 0, 0, &imported)) return false;
  session.key = imported;
  return true;
}

bool AcquireKeyContainer(CryptSession& session) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, kOldPlatformKeyContainer, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                            CRYPT_NEWKEYSET)) {
    if (GetLastError() != static_cast<DWORD>(NTE_EXISTS)) return false;
    if (!CryptAcquireContextW(&provider, kOldPlatformKeyContainer, MS_ENHANCED_PROV_W,
                              PROV_RSA_FULL, 0)) {
      return false;
    }
  }
  session.provider = provider;
  return true;
}

// Rewrites a PRIVATEKEYBLOB so that both exponents and both CRT exponents are 1; modulus,
// primes and coefficient stay as generated.
bool SetExponentsToOne(BYTE* blob, DWORD blob_size) {
  constexpr size_t kHeader = sizeof(BLOBHEADER);
  if (blob_size < kHeader + sizeof(RSAPUBKEY)) return false;
  RSAPUBKEY public_key;
  std::memcpy(&public_key, blob + kHeader, sizeof public_key);
  const size_t full = public_key.bitlen / 8;
  const size_t half = public_key.bitlen / 16;
  if (half == 0 || kHeader + sizeof(RSAPUBKEY) + 2 * full + 5 * half > blob_size) return false;
  PutOne(blob + kHeader + offsetof(RSAPUBKEY, pubexp), sizeof(DWORD));
  BYTE* at = blob + kHeader + sizeof(RSAPUBKEY);
  at += full;        // modulus
  at += half;        // prime1
  at += half;        // prime2
  PutOne(at, half);  // exponent1
  at += half;
  PutOne(at, half);  // exponent2
  at += half;
  at += half;        // coefficient
  PutOne(at, full);  // private exponent
  return true;
}

// Replaces the container's exchange key pair and imports it again with exponents of one.
bool ImportExponentOfOneKey(CryptSession& session) {
  HCRYPTKEY generated = 0;
  if (!CryptGenKey(session.provider, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &generated)) return false;
  DWORD size = 0;
  bool exported = CryptExportKey(generated, 0, PRIVATEKEYBLOB, 0, nullptr, &size) != FALSE;
  WipedBuffer blob(exported ? size : 0);
  if (exported) {
    exported = CryptExportKey(generated, 0, PRIVATEKEYBLOB, 0, blob.data(), &size) != FALSE;
  }
  CryptDestroyKey(generated);
  if (!exported || size > blob.size() || !SetExponentsToOne(blob.data(), size)) return false;
  HCRYPTKEY imported = 0;
  if (!CryptImportKey(session.provider, blob.data(), size, 0, 0, &imported)) return false;
  session.exchange_key = imported;
  return true;
}

bool ProviderTakesTripleDesKey(HCRYPTPROV provider, size_t key_length) {
  bool offered = false;
  DWORD flags = CRYPT_FIRST;
  PROV_ENUMALGS algorithm;
  DWORD size = sizeof algorithm;
  while (
      CryptGetProvParam(provider, PP_ENUMALGS, reinterpret_cast<BYTE*>(&algorithm), &size, flags)) {
    if (algorithm.aiAlgid == CALG_3DES) {
      offered = true;
      break;
    }
    flags = 0;
    size = sizeof algorithm;
  }
  if (!offered) return false;
  HCRYPTKEY temporary = 0;
  if (!CryptGenKey(provider, CALG_3DES, 0, &temporary)) return false;
  DWORD bits = 0;
  size = sizeof bits;
  const bool read =
      CryptGetKeyParam(temporary, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0) != FALSE;
  CryptDestroyKey(temporary);
  return read && key_length * 8 <= bits;
}

// The key text wrapped for the exchange key: PKCS#1 type 2 padding, stored little-endian the
// way CryptoAPI stores big numbers, so the key bytes come first and reversed.
bool ImportWrappedKey(CryptSession& session, const char* key, size_t key_length) {
  ALG_ID exchange_algorithm = 0;
  DWORD size = sizeof exchange_algorithm;
  if (!CryptGetKeyParam(session.exchange_key, KP_ALGID,
                        reinterpret_cast<BYTE*>(&exchange_algorithm), &size, 0)) {
    return false;
  }
  DWORD bits = 0;
  size = sizeof bits;
  if (!CryptGetKeyParam(session.exchange_key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size,
                        0)) {
    return false;
  }
  const size_t wrapped_length = bits / 8;
  // Room for the key, the zero separator, eight random bytes and the two marker bytes.
  if (wrapped_length < key_length + 11) return false;
  WipedBuffer blob(sizeof(BLOBHEADER) + sizeof(ALG_ID) + wrapped_length);
  PutBlobHeader(blob.data(), SIMPLEBLOB, CALG_3DES);
  PutLittleEndian32(blob.data() + sizeof(BLOBHEADER), exchange_algorithm);
  BYTE* wrapped = blob.data() + sizeof(BLOBHEADER) + sizeof(ALG_ID);
  for (size_t i = 0; i < key_length; ++i) {
    wrapped[i] = static_cast<BYTE>(key[key_length - 1 - i]);
  }
  wrapped[key_length] = 0;
  BYTE* random = wrapped + key_length + 1;
  const size_t random_length = wrapped_length - key_length - 3;
  if (!CryptGenRandom(session.provider, static_cast<DWORD>(random_length), random)) return false;
  for (size_t i = 0; i < random_length; ++i) {
    if (random[i] == 0) random[i] = 1;
  }
  wrapped[wrapped_length - 2] = 2;
  wrapped[wrapped_length - 1] = 0;
  HCRYPTKEY imported = 0;
  if (!CryptImportKey(session.provider, blob.data(), blob.size(), session.exchange_key,
                      CRYPT_EXPORTABLE, &imported)) {
    return false;
  }
  session.key = imported;
  return true;
}

bool ImportContainerKey(CryptSession& session, const char* key, size_t key_length) {
  return AcquireKeyContainer(session) && ImportExponentOfOneKey(session) &&
         ProviderTakesTripleDesKey(session.provider, key_length) &&
         ImportWrappedKey(session, key, key_length);
}

bool ConfigureKey(HCRYPTKEY key, int mode) {
  BYTE iv[8];
  static_assert(sizeof iv == kRecordIv.size());
  std::memcpy(iv, kRecordIv.data(), sizeof iv);
  if (!CryptSetKeyParam(key, KP_IV, iv, 0)) return false;
  const DWORD mode_value = static_cast<DWORD>(mode);
  if (!CryptSetKeyParam(key, KP_MODE, reinterpret_cast<const BYTE*>(&mode_value), 0)) {
    return false;
  }
  const DWORD padding = PKCS5_PADDING;
  return CryptSetKeyParam(key, KP_PADDING, reinterpret_cast<const BYTE*>(&padding), 0) != FALSE;
}

}  // namespace

bool RunsOnOldPlatform() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  // Unknown counts as current: the plain key import is what every supported system takes.
  if (!GetVersionExW(&info)) return false;
  const bool xp_or_later =
      info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1);
  return !xp_or_later;
}

bool TransformWithKeyText(KeyImportPath path, CipherDirection direction, const char* key,
                          size_t key_length, const unsigned char* input, size_t input_length,
                          int mode, unsigned char* output, size_t* output_length) {
  if (!CipherArgumentsUsable(direction, key, key_length, input, input_length, mode, output,
                             output_length)) {
    return false;
  }
  // Lengths cross the API as DWORD.
  if (PaddedCipherLength(input_length) > MAXDWORD) return false;
  const DWORD capacity = *output_length > MAXDWORD ? MAXDWORD : static_cast<DWORD>(*output_length);

  CryptSession session;
  const bool imported = path == KeyImportPath::kPlainTextBlob
                            ? ImportPlainTextKey(session, key, key_length)
                            : ImportContainerKey(session, key, key_length);
  if (!imported || !ConfigureKey(session.key, mode)) return false;

  if (input_length != 0) std::memmove(output, input, input_length);
  DWORD length = static_cast<DWORD>(input_length);
  const BOOL done = direction == CipherDirection::kEncrypt
                        ? CryptEncrypt(session.key, 0, TRUE, 0, output, &length, capacity)
                        : CryptDecrypt(session.key, 0, TRUE, 0, output, &length);
  if (!done) return false;
  *output_length = length;
  return true;
}

const CipherPlatform& NativeCipherPlatform() {
  static const CipherPlatform& table = *new CipherPlatform{
      [](CipherDirection direction, const char* key, size_t key_length, const unsigned char* input,
         size_t input_length, int mode, unsigned char* output, size_t* output_length) {
        const KeyImportPath path =
            RunsOnOldPlatform() ? KeyImportPath::kExponentOfOneKey : KeyImportPath::kPlainTextBlob;
        return TransformWithKeyText(path, direction, key, key_length, input, input_length, mode,
                                    output, output_length);
      }};
  return table;
}

}  // namespace fernlite
