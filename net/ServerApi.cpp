#include "ServerApi.h"

#include <mutex>

#include "net/RecordKeys.h"

namespace vantory {

namespace {
std::mutex& baseMutex() {
  static std::mutex mutex;
  return mutex;
}
std::string& baseSlot() {
  static std::string base(ServerApi::defaultBaseAddress);
  return base;
}
}  // namespace

void ServerApi::setBaseAddress(std::string address) {
  while (!address.empty() && address.back() == '/') {
    address.pop_back();
  }
  std::lock_guard lock(baseMutex());
  baseSlot() = std::move(address);
}

std::string ServerApi::baseAddress() {
  std::lock_guard lock(baseMutex());
  return baseSlot();
}

std::string ServerApi::urlFor(const Endpoint& endpoint) {
  return baseAddress() + std::string(endpoint.path);
}

std::string ServerApi::parameterText(const Endpoint& endpoint, std::string_view value) {
  if (endpoint.parameterName.empty()) {
    return "";
  }
  std::string text(endpoint.parameterName);
  text += '=';
  text += value;
  return text;
}

std::shared_ptr<WebServiceCall> ServerApi::makeCall(const Endpoint& endpoint) {
  auto call = WebServiceCall::create();
  call->setType(endpoint.type);
  call->setReponseType(ResponseType::JSON);
  call->setUrlString(urlFor(endpoint));
  return call;
}

nlohmann::json ServerApi::newStoreRecord(const std::string& name, const std::string& createdBy) {
  return {{key::name, name}, {key::created, createdBy}};
}

nlohmann::json ServerApi::newItemRecord(const std::string& storeId, const std::string& name,
                                        const std::string& description, const std::string& price,
                                        const std::string& postedBy) {
  return {{key::storeId, storeId},
          {key::name, name},
          {key::description, description},
          {key::price, price},
          {key::posted, postedBy}};
}

nlohmann::json ServerApi::itemEditRecord(const std::string& itemId, const std::string& name,
                                         const std::string& description, const std::string& price) {
  return {{key::itemId, itemId},
          {key::name, name},
          {key::description, description},
          {key::price, price}};
}

nlohmann::json ServerApi::interestRecord(const std::string& itemId, const std::string& name,
                                         const std::string& qty) {
  return {{key::itemId, itemId}, {key::name, name}, {key::qty, qty}};
}

nlohmann::json ServerApi::purchaseRecord(const std::string& itemId, const std::string& name,
                                         const std::string& qty) {
  // The same shape as an interest; only the endpoint differs.
  return interestRecord(itemId, name, qty);
}

nlohmann::json ServerApi::searchRecord(const std::string& query) { return {{key::query, query}}; }

nlohmann::json ServerApi::correctionRecord(const std::string& id, const std::string& name,
                                           const std::optional<std::string>& qty) {
  nlohmann::json record = {{key::id, id}, {key::name, name}};
  if (qty) {
    record[key::qty] = *qty;
  }
  return record;
}

}  // namespace vantory
