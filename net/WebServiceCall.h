#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/Data.h"

namespace vantory {

enum class CallType { GET = 0, POST = 1 };

enum class ResponseType { STRING = 0, JSON = 1, DATA = 2 };

// One HTTP request to the service. Set type, reponseType and urlString, then
// start it; the reply body is delivered by kind, on the URL session's
// background queue, to exactly one completion (or none). The pending request
// keeps the call and its completions alive until delivery.
class WebServiceCall : public std::enable_shared_from_this<WebServiceCall> {
 public:
  using StringCompletion = std::function<void(const std::string&)>;
  // Takes the parsed reply over (a long list is moved on, never copied).
  using JsonCompletion = std::function<void(std::optional<nlohmann::json>)>;
  using DataCompletion = std::function<void(const platform::Data&)>;
  // Why a call produced nothing usable for its caller.
  struct Failure {
    // The HTTP status of a refusal (400 or more); absent when nothing usable
    // came back at all.
    std::optional<long> statusCode;
    // The service's own explanation: the "error" text of a JSON object reply.
    std::optional<std::string> message;
  };
  // Called instead of any of the above when the call produced nothing usable:
  // no body (transport failure), a body that is not JSON when JSON was asked
  // for, an address that does not parse, or a reply with an HTTP status of 400
  // or more. Without it the status is not examined and such a reply is
  // delivered like any other.
  using FailureCompletion = std::function<void(const Failure& failure)>;

  static std::shared_ptr<WebServiceCall> create();

  const std::optional<CallType>& type() const { return type_; }
  void setType(CallType type) { type_ = type; }
  const std::optional<ResponseType>& reponseType() const { return reponseType_; }
  void setReponseType(ResponseType reponseType) { reponseType_ = reponseType; }
  const std::optional<std::string>& urlString() const { return urlString_; }
  void setUrlString(std::string urlString) { urlString_ = std::move(urlString); }
  // The Idempotency-Key header, the one header a call may add: a resend of
  // the same write with the same key is stored once by the service.
  const std::optional<std::string>& idempotencyKey() const { return idempotencyKey_; }
  void setIdempotencyKey(std::string key) { idempotencyKey_ = std::move(key); }

  void callWebserviceWithParams(const std::string& params, StringCompletion responseTypeString,
                                JsonCompletion responseTypeJson, DataCompletion responseTypeData,
                                FailureCompletion failure = {});

  void callWebserviceWithResponseTypeString(StringCompletion responseTypeString,
                                            JsonCompletion responseTypeJson,
                                            DataCompletion responseTypeData,
                                            FailureCompletion failure = {});

  // Delivers one reply body by reponseType. Returns whether a completion for
  // the body's kind was called (an absent body or unparsable JSON: false).
  bool processDataWithData(const std::optional<platform::Data>& data,
                           const StringCompletion& responseTypeString,
                           const JsonCompletion& responseTypeJson,
                           const DataCompletion& responseTypeData) const;

 private:
  WebServiceCall() = default;

  void start(const std::optional<std::string>& params, StringCompletion responseTypeString,
             JsonCompletion responseTypeJson, DataCompletion responseTypeData,
             FailureCompletion failure);

  std::optional<CallType> type_;
  std::optional<ResponseType> reponseType_;
  std::optional<std::string> urlString_;
  std::optional<std::string> idempotencyKey_;
};

}  // namespace vantory
