// Which pages may use window.external: only documents of the platform's own hosts (the
// build's hosts, or the one FERNLITE_PLATFORM names), and only at the top of a window. A
// frame of another origin inside the guest page, or a page the browser was led to, gets a
// refusal and changes nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

// "scheme://host[:port]" of an http or https address as a browser names its origin: scheme
// and host in lower case, the default port left out, no user information. Empty for any other
// address (file:, data:, javascript:, no host, a malformed port).
std::u16string WebOrigin(std::u16string_view url);

// http or https with a host: what the game window may be sent to.
bool IsWebAddress(std::u16string_view url);

// The origins of the platform's hosts.
std::vector<std::u16string> PlatformOrigins();
// Whether a document at this address is one of the platform's own.
bool IsPlatformAddress(std::u16string_view url);

// The whole rule for a caller of the bridge.
bool MayUseBridge(std::u16string_view document_url, bool top_level_document);

}  // namespace fernlite
