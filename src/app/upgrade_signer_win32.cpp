#include <windows.h>
// After windows.h:
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "app/upgrade_signer_win32.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {

namespace {

// WinVerifyTrust: the embedded signature covers the file and its signer is acceptable to the
// system's Authenticode policy.
bool SignatureVerifies(const std::u16string& file) {
  WINTRUST_FILE_INFO file_info{};
  file_info.cbStruct = sizeof file_info;
  file_info.pcwszFilePath = W(file);
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return status == ERROR_SUCCESS;
}

// The signer's chain for code signing must end in a trusted self-signed root with no error
// bits; some WinVerifyTrust implementations accept chains that stop at an unknown issuer.
bool ChainIsTrusted(PCCERT_CONTEXT cert, HCERTSTORE signature_store) {
  LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, signature_store, &para, 0, nullptr,
                               &chain)) {
    return false;
  }
  bool trusted = chain->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR && chain->cChain > 0;
  if (trusted) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    trusted = simple->cElement > 0 &&
              (simple->rgpElement[simple->cElement - 1]->TrustStatus.dwInfoStatus &
               CERT_TRUST_IS_SELF_SIGNED) != 0;
  }
  CertFreeCertificateChain(chain);
  return trusted;
}

std::optional<std::u16string> SimpleDisplayName(PCCERT_CONTEXT cert) {
  const DWORD length =
      CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (length <= 1) return std::nullopt;
  std::vector<wchar_t> name(length);
  CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
  return FromWide(name.data());
}

}  // namespace

std::optional<std::string> VerifiedSignerName(const std::u16string& file) {
  if (!SignatureVerifies(file)) return std::nullopt;

  DWORD encoding = 0, content_type = 0, format_type = 0;
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, W(file), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content_type, &format_type,
                        &store, &message, nullptr)) {
    return std::nullopt;
  }
  std::optional<std::string> result;
  DWORD size = 0;
  if (CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0) {
    std::vector<unsigned char> buffer(size);
    if (CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
      const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
      CERT_INFO wanted{};
      wanted.Issuer = signer->Issuer;
      wanted.SerialNumber = signer->SerialNumber;
      PCCERT_CONTEXT cert =
          CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                     CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
      if (cert) {
        if (ChainIsTrusted(cert, store)) {
          if (auto name = SimpleDisplayName(cert)) result = ToAnsi(*name);
        }
        CertFreeCertificateContext(cert);
      }
    }
  }
  CryptMsgClose(message);
  CertCloseStore(store, 0);
  return result;
}

}  // namespace fernlite
