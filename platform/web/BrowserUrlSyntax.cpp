// Addresses in a browser are the browser's to parse and split: what new URL()
// takes, with a host, is usable, in the parts it finds.
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <sstream>

#include "platform/UrlSyntax.h"

// The parts, one per line (scheme, host, port, path and query), or "" when
// the browser does not take the address; an empty query is kept, as the
// address's own text has it.
// clang-format off
EM_JS(int, browserUrlParts, (const char* text, char* out, int size), {
  let parts = "";
  try {
    const url = new URL(UTF8ToString(text));
    if (url.hostname !== "") {
      const beforeHash = url.href.slice(0, url.href.length - url.hash.length);
      const emptyQuery = url.search === "" && beforeHash.endsWith("?");
      parts = [url.protocol.slice(0, -1), url.hostname, url.port,
               url.pathname + url.search + (emptyQuery ? "?" : "")].join("\n");
    }
  } catch (error) {
    parts = "";
  }
  if (out) {
    stringToUTF8(parts, out, size);
  }
  return lengthBytesUTF8(parts);
});
// clang-format on

namespace platform {

std::optional<UrlParts> UrlSyntax::parseAbsolute(const std::string& text) {
  const int length = browserUrlParts(text.c_str(), nullptr, 0);
  if (length <= 0) {
    return std::nullopt;
  }
  std::string joined(static_cast<std::size_t>(length) + 1, '\0');
  browserUrlParts(text.c_str(), joined.data(), length + 1);
  joined.resize(static_cast<std::size_t>(length));
  std::istringstream lines(joined);
  UrlParts parts;
  std::getline(lines, parts.scheme);
  std::getline(lines, parts.host);
  std::getline(lines, parts.port);
  std::getline(lines, parts.requestTarget);
  if (parts.requestTarget.empty()) {
    parts.requestTarget = "/";
  }
  return parts;
}

}  // namespace platform
