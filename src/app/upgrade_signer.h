// Who signed a downloaded executable, answered only for signatures that verify.
#pragma once

#include <optional>
#include <string>

namespace fernlite {

// The simple display name (common name) of the signer of `file` as ANSI bytes, only when the
// signature covers the file, the signer's certificate may sign code and its chain ends in a
// trusted root without errors; nullopt otherwise.
// Windows: the Authenticode signature embedded in the file, checked with WinVerifyTrust and
// the certificate chain engine; `detached_signature` and `extra_ca_file` are not used.
// Linux: the detached DER CMS signature in `detached_signature`, trusted through the
// system store and, when not empty, the PEM certificates in `extra_ca_file`.
std::optional<std::string> VerifiedSignerName(const std::u16string& file,
                                              const std::u16string& detached_signature,
                                              const std::string& extra_ca_file);

}  // namespace fernlite
