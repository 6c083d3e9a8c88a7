#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

namespace vantory::service {

// What a handler answers: a status and a JSON object.
struct ApiReply {
  int status = 200;
  nlohmann::json body = nlohmann::json::object();
  std::string allow;  // for 405: the methods the path takes
  // A body already written out (a cached reply); used instead of `body`.
  std::shared_ptr<const std::string> serialized;

  static ApiReply error(int status, std::string message) {
    return {status, {{"error", std::move(message)}}, {}, nullptr};
  }
  std::string serializedBody() const { return serialized ? *serialized : body.dump(); }
};

}  // namespace vantory::service
