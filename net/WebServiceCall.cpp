#include "WebServiceCall.h"

#include <utility>

#include "platform/Console.h"
#include "platform/JsonSerialization.h"
#include "platform/Url.h"
#include "platform/UrlSession.h"
#include "platform/Utf8.h"

namespace vantory {

namespace {

// Long enough for any sentence a service means a person to read.
constexpr std::size_t kMaxMessageBytes = 500;

// At most kMaxMessageBytes of valid UTF-8 text, cut between characters.
std::string shortened(const std::string& text) {
  if (text.size() <= kMaxMessageBytes) {
    return text;
  }
  std::size_t end = kMaxMessageBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return text.substr(0, end) + "\xE2\x80\xA6";
}

// The refusal a reply with an error status carries, with the service's
// "error" text when it sent one.
WebServiceCall::Failure refusal(long statusCode, const std::optional<platform::Data>& body) {
  WebServiceCall::Failure failure{statusCode, std::nullopt};
  if (body) {
    const auto reply = platform::JsonSerialization::jsonObjectWithData(*body);
    if (reply && reply->is_object()) {
      const auto error = reply->find("error");
      if (error != reply->end() && error->is_string() &&
          !error->get_ref<const std::string&>().empty()) {
        failure.message = shortened(error->get_ref<const std::string&>());
      }
    }
  }
  return failure;
}

}  // namespace

std::shared_ptr<WebServiceCall> WebServiceCall::create() {
  return std::shared_ptr<WebServiceCall>(new WebServiceCall());
}

void WebServiceCall::callWebserviceWithParams(const std::string& params,
                                              StringCompletion responseTypeString,
                                              JsonCompletion responseTypeJson,
                                              DataCompletion responseTypeData,
                                              FailureCompletion failure) {
  start(params, std::move(responseTypeString), std::move(responseTypeJson),
        std::move(responseTypeData), std::move(failure));
}

void WebServiceCall::callWebserviceWithResponseTypeString(StringCompletion responseTypeString,
                                                          JsonCompletion responseTypeJson,
                                                          DataCompletion responseTypeData,
                                                          FailureCompletion failure) {
  start(std::nullopt, std::move(responseTypeString), std::move(responseTypeJson),
        std::move(responseTypeData), std::move(failure));
}

void WebServiceCall::start(const std::optional<std::string>& params,
                           StringCompletion responseTypeString, JsonCompletion responseTypeJson,
                           DataCompletion responseTypeData, FailureCompletion failure) {
  if (!type_ || !urlString_) {
    if (failure) {
      failure({});
    }
    return;
  }
  std::string address = *urlString_;
  if (*type_ == CallType::GET) {
    if (params) {
      address += "?" + *params;  // verbatim: nothing is escaped
    }
    platform::Console::print("\n" + platform::Url::withoutCredentials(address));
  }
  std::optional<platform::Url> url = platform::Url::fromString(address);
  if (!url) {
    if (failure) {
      failure({});
    }
    return;
  }
  platform::UrlRequest request(std::move(*url), 0, 60.0);
  if (idempotencyKey_) {
    request.headers.emplace_back("Idempotency-Key", *idempotencyKey_);
  }
  if (*type_ == CallType::POST) {
    request.httpMethod = "POST";
    if (params) {
      request.httpBody = *params;  // UTF-8 bytes, byte for byte
    }
  }

  auto session = platform::UrlSession::sharedSession();
  auto task = session->dataTaskWithRequest(
      std::move(request),
      [self = shared_from_this(), responseTypeString = std::move(responseTypeString),
       responseTypeJson = std::move(responseTypeJson),
       responseTypeData = std::move(responseTypeData),
       failure = std::move(failure)](const std::optional<platform::Data>& body,
                                     const std::optional<platform::HttpUrlResponse>& response,
                                     const std::optional<platform::UrlError>& error) {
        // Only a caller that handles failures hears of refusals; for the
        // others a body that comes with an error status is delivered like
        // any other.
        if (failure && response && response->statusCode >= 400) {
          failure(refusal(response->statusCode, body));
          return;
        }
        if (error && error->explanation) {
          platform::Console::print(*error->explanation);
        }
        const bool delivered =
            self->processDataWithData(body, responseTypeString, responseTypeJson, responseTypeData);
        if (!delivered && failure) {
          failure({std::nullopt, error ? error->explanation : std::nullopt});
        }
      });
  task->resume();
}

bool WebServiceCall::processDataWithData(const std::optional<platform::Data>& data,
                                         const StringCompletion& responseTypeString,
                                         const JsonCompletion& responseTypeJson,
                                         const DataCompletion& responseTypeData) const {
  if (!data) {
    return false;
  }
  if (!reponseType_) {
    return false;
  }
  switch (*reponseType_) {
    case ResponseType::STRING:
      if (responseTypeString) {
        // Invalid sequences become U+FFFD, so a STRING delivery is always text.
        responseTypeString(platform::Utf8::replacingInvalid(*data));
      }
      return true;
    case ResponseType::JSON: {
      std::string error;
      std::optional<nlohmann::json> parsed =
          platform::JsonSerialization::jsonObjectWithData(*data, &error);
      if (!parsed) {
        platform::Console::print(error);
        return false;
      }
      if (responseTypeJson) {
        // Any top-level value parses; only an object reaches the caller as one.
        responseTypeJson(parsed->is_object() ? std::move(parsed) : std::nullopt);
      }
      return true;
    }
    case ResponseType::DATA:
      if (responseTypeData) {
        responseTypeData(*data);
      }
      return true;
  }
  return false;
}

}  // namespace vantory
