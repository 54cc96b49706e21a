#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "data/cipher_vectors.h"
#include "identity/base64.h"
#include "identity/cipher.h"
#include "identity/cipher_win32.h"

namespace fernlite {
namespace {

std::string_view View(vectors::Bytes bytes) {
  return {bytes.data, bytes.size};
}

// One call through the chosen key import, with a buffer of exactly the needed size.
bool Transform(KeyImportPath path, CipherDirection direction, std::string_view input,
               std::string& output) {
  std::vector<unsigned char> buffer(PaddedCipherLength(input.size()));
  size_t length = buffer.size();
  if (!TransformWithKeyText(path, direction, kRecordKeyText.data(), kRecordKeyText.size(),
                            reinterpret_cast<const unsigned char*>(input.data()), input.size(),
                            kCipherModeCbc, buffer.data(), &length)) {
    return false;
  }
  output.assign(reinterpret_cast<const char*>(buffer.data()), length);
  return true;
}

void DeleteContainer() {
  HCRYPTPROV provider = 0;
  CryptAcquireContextW(&provider, kOldPlatformKeyContainer, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                       CRYPT_DELETEKEYSET);
}

// Opens the container without creating it; 0 when it does not exist.
HCRYPTPROV OpenContainer() {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, kOldPlatformKeyContainer, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                            0)) {
    return 0;
  }
  return provider;
}

// The public half of the container's exchange key, to see that it changes.
std::string ExchangePublicKey() {
  HCRYPTPROV provider = OpenContainer();
  if (provider == 0) return {};
  std::string blob;
  HCRYPTKEY key = 0;
  if (CryptGetUserKey(provider, AT_KEYEXCHANGE, &key)) {
    DWORD size = 0;
    if (CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size)) {
      blob.resize(size);
      if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, reinterpret_cast<BYTE*>(blob.data()), &size)) {
        blob.clear();
      }
    }
    CryptDestroyKey(key);
  }
  CryptReleaseContext(provider, 0);
  return blob;
}

TEST(CipherKeyImport, BothPathsGiveTheKnownCiphertexts) {
  for (const auto& vector : vectors::kRecordVectors) {
    SCOPED_TRACE(vector.name);
    const std::string expected = DecodeBase64(vector.base64);
    std::string plain_blob_cipher;
    std::string container_cipher;
    ASSERT_TRUE(Transform(KeyImportPath::kPlainTextBlob, CipherDirection::kEncrypt,
                          View(vector.plain), plain_blob_cipher));
    ASSERT_TRUE(Transform(KeyImportPath::kExponentOfOneKey, CipherDirection::kEncrypt,
                          View(vector.plain), container_cipher));
    EXPECT_EQ(plain_blob_cipher, expected);
    EXPECT_EQ(container_cipher, expected);

    std::string decrypted;
    ASSERT_TRUE(Transform(KeyImportPath::kExponentOfOneKey, CipherDirection::kDecrypt, expected,
                          decrypted));
    EXPECT_EQ(decrypted, View(vector.plain));
  }
}

TEST(CipherKeyImport, OldPlatformPathRejectsBadPadding) {
  for (const char* text : vectors::kBadPaddingTexts) {
    SCOPED_TRACE(text);
    std::string plain;
    EXPECT_FALSE(Transform(KeyImportPath::kExponentOfOneKey, CipherDirection::kDecrypt,
                           DecodeBase64(text), plain));
    EXPECT_FALSE(Transform(KeyImportPath::kPlainTextBlob, CipherDirection::kDecrypt,
                           DecodeBase64(text), plain));
  }
}

// The old-platform path creates the container when it is missing, reopens it when it exists,
// replaces its exchange key pair on every call and leaves it behind.
TEST(CipherKeyImport, OldPlatformPathLeavesItsKeyContainer) {
  DeleteContainer();
  ASSERT_EQ(OpenContainer(), 0u);

  std::string cipher;
  ASSERT_TRUE(
      Transform(KeyImportPath::kExponentOfOneKey, CipherDirection::kEncrypt, "qmzt", cipher));
  const std::string first_key = ExchangePublicKey();
  EXPECT_FALSE(first_key.empty());

  ASSERT_TRUE(
      Transform(KeyImportPath::kExponentOfOneKey, CipherDirection::kEncrypt, "qmzt", cipher));
  const std::string second_key = ExchangePublicKey();
  EXPECT_FALSE(second_key.empty());
  EXPECT_NE(first_key, second_key);
}

TEST(CipherKeyImport, CurrentPlatformsUseNoContainer) {
  if (RunsOnOldPlatform()) GTEST_SKIP() << "this system takes the container path";
  DeleteContainer();
  EXPECT_EQ(EncryptRecordText(View(vectors::kRecordVectors[6].plain)),
            vectors::kRecordVectors[6].base64);
  EXPECT_EQ(DecryptRecordText(vectors::kRecordVectors[6].base64),
            View(vectors::kRecordVectors[6].plain));
  const HCRYPTPROV provider = OpenContainer();
  if (provider != 0) CryptReleaseContext(provider, 0);
  EXPECT_EQ(provider, 0u);
}

}  // namespace
}  // namespace fernlite
