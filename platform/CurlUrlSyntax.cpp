#include <curl/curl.h>

#include <memory>

#include "UrlSyntax.h"

namespace platform {

bool UrlSyntax::acceptsAbsolute(const std::string& text) {
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
  if (!handle) {
    return false;
  }
  if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
      CURLUE_OK) {
    return false;
  }
  char* host = nullptr;
  const bool hasHost = curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
                       host != nullptr && host[0] != '\0';
  curl_free(host);
  return hasHost;
}

}  // namespace platform
