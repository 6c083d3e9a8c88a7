#pragma once

#include <memory>
#include <optional>
#include <string>

#include "net/Endpoint.h"
#include "net/WebServiceCall.h"

namespace vantory {

// Makes the calls that send a screen's records so that the service stores
// each once: every send carries an Idempotency-Key, and a send that did not
// get through, made again with the same parameter to the same endpoint (the
// prompt reopened and saved as it was), carries the same key, since the first
// may have been stored with only its reply lost. Used on the main queue.
class RecordSender {
 public:
  std::shared_ptr<WebServiceCall> callFor(const Endpoint& endpoint, const std::string& parameter);
  // The last send got through: the next one is new, whatever it holds.
  void succeeded() { unfinished_.reset(); }

 private:
  struct UnfinishedSend {
    const Endpoint* endpoint;
    std::string parameter;
    std::string idempotencyKey;
  };
  std::optional<UnfinishedSend> unfinished_;
};

}  // namespace vantory
