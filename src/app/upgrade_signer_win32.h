// Who signed a downloaded executable (Windows): the Authenticode signature inside it.
#pragma once

#include <optional>
#include <string>

namespace fernlite {

// The simple display name of the signer of `file` as ANSI bytes, only when WinVerifyTrust
// accepts the signature and the signer's chain ends in a trusted root without error bits;
// nullopt otherwise.
std::optional<std::string> VerifiedSignerName(const std::u16string& file);

}  // namespace fernlite
