// Who signed a downloaded executable (Linux): a detached DER CMS signature beside it.
#pragma once

#include <optional>
#include <string>

namespace fernlite {

// The common name of the signer of `file` as ANSI bytes, only when the signature in
// `detached_signature` covers the file, the signer's certificate may sign code and its chain
// ends in a trusted root without errors (the system store and, when not empty, the PEM
// certificates in `extra_ca_file`); nullopt otherwise.
std::optional<std::string> VerifiedSignerName(const std::u16string& file,
                                              const std::u16string& detached_signature,
                                              const std::string& extra_ca_file);

}  // namespace fernlite
