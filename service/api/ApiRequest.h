#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vantory::service {

// An HTTP request as the handlers see it: no sockets, and of the headers
// only the one a handler reads.
struct ApiRequest {
  ApiRequest(std::string requestMethod, std::string requestTarget, std::string requestBody = {},
             std::string key = {}, std::optional<std::string> signedIn = std::nullopt)
      : method(std::move(requestMethod)),
        target(std::move(requestTarget)),
        body(std::move(requestBody)),
        idempotencyKey(std::move(key)),
        signedInAs(std::move(signedIn)) {}

  std::string method;  // "GET", "POST", ...
  std::string target;  // path and query, as on the request line
  std::string body;
  // The Idempotency-Key header of a write, empty when it has none: a resend
  // with the same key gets the first reply instead of a second write.
  std::string idempotencyKey;
  // With a user list: the name the signed-in person's records are under
  // (their name in the app). A write may then name only them.
  std::optional<std::string> signedInAs;
};

}  // namespace vantory::service
