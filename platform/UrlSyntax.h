#pragma once

#include <string>

namespace platform {

// The platform's own URL parser, which has the last word on whether an
// address is usable: libcurl's on Linux, the browser's in a browser.
class UrlSyntax {
 public:
  UrlSyntax() = delete;
  // True for an absolute address with a host that the parser takes whole.
  static bool acceptsAbsolute(const std::string& text);
};

}  // namespace platform
