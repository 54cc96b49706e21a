// Triple DES (three-key EDE) for the guest identity record, and the scrambler that disguises
// the first event report. Stateless: each call acquires and releases everything it uses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fernlite {

// The record key text; its 24 bytes are the three DES keys in order.
inline constexpr std::string_view kRecordKeyText = "Rk7QmTz2LwVb9NcYhJx4PdGs";
// CBC initialisation vector, the same in both directions.
inline constexpr std::string_view kRecordIv = "quillerd";
// Added byte by byte to a report's query text.
inline constexpr std::string_view kReportKey = "mordek_tyl";

// Cipher modes, numbered as the Windows provider numbers them.
inline constexpr int kCipherModeCbc = 1;
inline constexpr int kCipherModeEcb = 2;

// The ciphertext length for a plain length: PKCS#5 always adds one to eight bytes, so this is
// the next multiple of 8 strictly above it. Zero when the length cannot be represented.
size_t PaddedCipherLength(size_t plain_length);

// `output_length` holds the capacity of `output` on entry and the result length on success.
// Encryption needs PaddedCipherLength(input_length) bytes of room, decryption input_length
// (the ciphertext is decrypted in place in the output buffer). A buffer that is too small, a
// key that is not 24 bytes, a mode other than CBC or ECB, a ciphertext that is not whole
// blocks or a padding error gives false, and nothing is written beyond the capacity.
bool EncryptWithKeyText(const char* key, size_t key_length, const unsigned char* input,
                        size_t input_length, int mode, unsigned char* output,
                        size_t* output_length);
bool DecryptWithKeyText(const char* key, size_t key_length, const unsigned char* input,
                        size_t input_length, int mode, unsigned char* output,
                        size_t* output_length);

// Line-broken Base64 of the ciphertext under the record key in CBC mode; "" on failure.
std::string EncryptRecordText(std::string_view plain);
// The plain bytes; "" for an empty text or any failure.
std::string DecryptRecordText(std::string_view base64);

// Each byte plus the matching report key byte (mod 256), as Base64 without line breaks.
std::string ScrambleReportText(std::string_view text);

enum class CipherDirection { kEncrypt, kDecrypt };

// The checks both platform sides make before touching the provider: pointers present, a
// 24-byte key, CBC or ECB, whole blocks to decrypt, and room in the output buffer.
bool CipherArgumentsUsable(CipherDirection direction, const char* key, size_t key_length,
                           const unsigned char* input, size_t input_length, int mode,
                           const unsigned char* output, const size_t* output_length);

}  // namespace fernlite
