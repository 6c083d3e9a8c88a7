#include <curl/curl.h>

#include <memory>

#include "UrlSyntax.h"

namespace platform {

namespace {

using Handle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

// The part as libcurl holds it (as written: no encoding or decoding); nothing
// when the address has none.
std::optional<std::string> partOf(const Handle& handle, CURLUPart which) {
  char* text = nullptr;
  if (curl_url_get(handle.get(), which, &text, 0) != CURLUE_OK || text == nullptr) {
    return std::nullopt;
  }
  std::string part(text);
  curl_free(text);
  return part;
}

}  // namespace

std::optional<UrlParts> UrlSyntax::parseAbsolute(const std::string& text) {
  const Handle handle(curl_url(), curl_url_cleanup);
  // Dot segments stay as written: the request goes where the address says.
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(),
                              CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS) != CURLUE_OK) {
    return std::nullopt;
  }
  UrlParts parts;
  const auto host = partOf(handle, CURLUPART_HOST);
  if (!host || host->empty()) {
    return std::nullopt;
  }
  parts.host = *host;
  parts.scheme = partOf(handle, CURLUPART_SCHEME).value_or("");
  parts.port = partOf(handle, CURLUPART_PORT).value_or("");
  parts.requestTarget = partOf(handle, CURLUPART_PATH).value_or("");
  if (parts.requestTarget.empty()) {
    parts.requestTarget = "/";
  }
  // An empty query is kept: "?" and none are different request lines.
  if (const auto query = partOf(handle, CURLUPART_QUERY)) {
    parts.requestTarget += "?" + *query;
  }
  return parts;
}

}  // namespace platform
