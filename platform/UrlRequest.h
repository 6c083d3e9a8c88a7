#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Data.h"
#include "Url.h"

namespace platform {

// One HTTP request as built by the caller; the session sends it unchanged.
struct UrlRequest {
  explicit UrlRequest(Url address, int cache = 0, double timeout = 60.0)
      : url(std::move(address)), cachePolicy(cache), timeoutInterval(timeout) {}

  Url url;
  // 0: the protocol's own caching rules. The session keeps no cache, so every
  // request reaches the service.
  int cachePolicy = 0;
  double timeoutInterval = 60.0;  // seconds
  std::string httpMethod = "GET";
  std::optional<Data> httpBody;
  // Sent after the session's own, in this order.
  std::vector<std::pair<std::string, std::string>> headers;
};

struct HttpUrlResponse {
  long statusCode = 0;
  // In the order received; names as the server wrote them.
  std::vector<std::pair<std::string, std::string>> headers;
};

struct UrlError {
  int code = 0;
  std::string description;
  // A sentence for the person using the app when the failure is theirs to
  // fix, such as a service certificate their machine does not trust.
  std::optional<std::string> explanation;
};

}  // namespace platform
