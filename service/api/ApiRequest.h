#pragma once

#include <string>

namespace vantory::service {

// An HTTP request as the handlers see it: no sockets, no headers.
struct ApiRequest {
  std::string method;  // "GET", "POST", ...
  std::string target;  // path and query, as on the request line
  std::string body;
};

}  // namespace vantory::service
