#include "RecordSender.h"

#include <cstdio>
#include <random>

#include "net/ServerApi.h"

namespace vantory {

namespace {

// 128 bits from the system's random source, in hex: keys of different
// phones must never meet.
std::string newIdempotencyKey() {
  std::random_device random;
  std::string key;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    key += part;
  }
  return key;
}

}  // namespace

std::shared_ptr<WebServiceCall> RecordSender::callFor(const Endpoint& endpoint,
                                                      const std::string& parameter) {
  if (!unfinished_ || unfinished_->endpoint != &endpoint || unfinished_->parameter != parameter) {
    unfinished_ = UnfinishedSend{&endpoint, parameter, newIdempotencyKey()};
  }
  auto call = ServerApi::makeCall(endpoint);
  call->setIdempotencyKey(unfinished_->idempotencyKey);
  return call;
}

}  // namespace vantory
