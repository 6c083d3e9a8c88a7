#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
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
  // A reply that stays open (a stream of events): when set, the body is
  // handed over part by part as it arrives, with the reply's status and
  // content type, instead of being collected; returning false ends the
  // transfer. The completion then comes with no body when the stream ends.
  std::function<bool(long status, std::string_view contentType, std::string_view part)> onBodyPart;
  // Asked about once a second during the transfer: true ends it (a stream
  // nobody follows any more).
  std::function<bool()> cancelled;
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
