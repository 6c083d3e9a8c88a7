#pragma once

#include <string_view>

#include "net/WebServiceCall.h"

namespace vantory {

// One endpoint of the service: where it is, how it is called, the name of
// its one parameter and the key of the list its reply carries.
struct Endpoint {
  std::string_view path;
  CallType type;
  std::string_view parameterName;  // empty: the request carries no parameter
  std::string_view replyKey;       // empty: the reply's content is not read
};

}  // namespace vantory
