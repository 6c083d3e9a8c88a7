#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantory::service {

// What a handler answers: a status and a JSON object.
struct ApiReply {
  int status = 200;
  nlohmann::json body = nlohmann::json::object();
  std::string allow;  // for 405: the methods the path takes
  // For 401: the scheme the client should authenticate with.
  std::string wwwAuthenticate;
  // For 429 and 503: when to try again.
  int retryAfterSeconds = 0;
  // What the body is, and further header lines (for the web app's files).
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  // A body already written out (a cached reply); used instead of `body`.
  std::shared_ptr<const std::string> serialized;
  // Why a request failed, for the log only: the error sent for a 4xx, the
  // underlying cause (never sent) for a 5xx.
  std::string cause;

  static ApiReply error(int status, std::string message) {
    ApiReply reply;
    reply.status = status;
    reply.body = {{"error", message}};
    reply.cause = std::move(message);
    return reply;
  }
  // A failure of the service itself: the client gets the message, the log
  // the cause.
  static ApiReply failure(int status, std::string message, std::string cause) {
    ApiReply reply;
    reply.status = status;
    reply.body = {{"error", std::move(message)}};
    reply.cause = std::move(cause);
    return reply;
  }
  // Always valid JSON: bytes of a request that are not UTF-8 (echoed in a
  // message) are replaced, never thrown over.
  std::string serializedBody() const {
    return serialized ? *serialized
                      : body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
};

}  // namespace vantory::service
