#pragma once

#include <optional>
#include <string>

namespace platform {

// An absolute address as the platform's URL parser splits it.
struct UrlParts {
  std::string scheme;         // in lower case
  std::string host;           // an IPv6 address in its brackets
  std::string port;           // empty when the address names none
  std::string requestTarget;  // path and query (an empty "?" kept), "/" at least; no fragment
};

// The platform's own URL parser, which both decides whether an address is
// usable and splits it, so that the two never disagree: libcurl's on Linux,
// the browser's in a browser.
class UrlSyntax {
 public:
  UrlSyntax() = delete;
  // The parts of an absolute address with a host that the parser takes
  // whole; nothing for anything else.
  static std::optional<UrlParts> parseAbsolute(const std::string& text);
};

}  // namespace platform
