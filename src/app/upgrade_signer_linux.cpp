#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

#include "app/upgrade_signer_linux.h"
#include "platform/text.h"

namespace fernlite {

namespace {

struct Free {
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
  void operator()(X509_STORE* p) const { X509_STORE_free(p); }
  void operator()(STACK_OF(X509) * p) const { sk_X509_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

Owned<CMS_ContentInfo> ReadSignature(const std::string& path) {
  Owned<BIO> in(BIO_new_file(path.c_str(), "rb"));
  if (!in) return nullptr;
  return Owned<CMS_ContentInfo>(d2i_CMS_bio(in.get(), nullptr));
}

std::optional<std::string> CommonName(X509* cert) {
  X509_NAME* subject = X509_get_subject_name(cert);
  const int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
  if (index < 0) return std::nullopt;
  ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, data);
  if (length < 0) return std::nullopt;
  std::string name(reinterpret_cast<char*>(utf8), static_cast<size_t>(length));
  OPENSSL_free(utf8);
  return ToAnsi(FromUtf8(name));
}

}  // namespace

std::optional<std::string> VerifiedSignerName(const std::u16string& file,
                                              const std::u16string& detached_signature,
                                              const std::string& extra_ca_file) {
  Owned<CMS_ContentInfo> cms = ReadSignature(ToUtf8(detached_signature));
  Owned<BIO> content(BIO_new_file(ToUtf8(file).c_str(), "rb"));
  Owned<X509_STORE> store(X509_STORE_new());
  if (!cms || !content || !store) {
    ERR_clear_error();
    return std::nullopt;
  }
  X509_STORE_set_default_paths(store.get());
  if (!extra_ca_file.empty() && X509_STORE_load_file(store.get(), extra_ca_file.c_str()) != 1) {
    ERR_clear_error();
  }
  // The S/MIME purpose would demand an e-mail key usage; code signing is checked below.
  X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);

  const int verified =
      CMS_verify(cms.get(), nullptr, store.get(), content.get(), nullptr, CMS_BINARY);
  ERR_clear_error();
  if (verified != 1) return std::nullopt;

  Owned<STACK_OF(X509)> signers(CMS_get0_signers(cms.get()));
  if (!signers || sk_X509_num(signers.get()) < 1) return std::nullopt;
  X509* signer = sk_X509_value(signers.get(), 0);
  const uint32_t usage = X509_get_extended_key_usage(signer);
  if (!(usage & XKU_CODE_SIGN)) return std::nullopt;
  return CommonName(signer);
}

}  // namespace fernlite
