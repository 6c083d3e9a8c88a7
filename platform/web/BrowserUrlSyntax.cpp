// Addresses in a browser are the browser's to parse: what new URL() takes,
// with a host, is usable.
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include "platform/UrlSyntax.h"

// clang-format off
EM_JS(int, browserAcceptsUrl, (const char* text), {
  try {
    return new URL(UTF8ToString(text)).hostname !== "" ? 1 : 0;
  } catch (error) {
    return 0;
  }
});
// clang-format on

namespace platform {

namespace {}  // namespace

bool UrlSyntax::acceptsAbsolute(const std::string& text) {
  return browserAcceptsUrl(text.c_str()) != 0;
}

}  // namespace platform
