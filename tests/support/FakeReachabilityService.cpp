#include "FakeReachabilityService.h"

namespace testsupport {

std::shared_ptr<platform::ReachabilityTarget> FakeReachabilityService::createWithName(
    const std::string& hostName) {
  if (rejected_.count(hostName) > 0) {
    return nullptr;
  }
  return std::make_shared<platform::ReachabilityTarget>();
}

std::shared_ptr<platform::ReachabilityTarget> FakeReachabilityService::createWithAddress(
    const sockaddr_in& /*address*/) {
  return std::make_shared<platform::ReachabilityTarget>();
}

bool FakeReachabilityService::getFlags(platform::ReachabilityTarget& /*target*/,
                                       platform::ReachabilityFlags& flags) {
  std::lock_guard lock(mutex_);
  ++reads_;
  if (failReads_) {
    return false;
  }
  if (!perRead_.empty()) {
    flags_ = perRead_.front();
    perRead_.pop_front();
  }
  flags = flags_;
  return true;
}

void FakeReachabilityService::setFlagsPerRead(std::vector<platform::ReachabilityFlags> flags) {
  std::lock_guard lock(mutex_);
  perRead_.assign(flags.begin(), flags.end());
}

bool FakeReachabilityService::setCallback(platform::ReachabilityTarget& target, Callback callback,
                                          void* info) {
  std::lock_guard lock(mutex_);
  if (callback != nullptr && refuseCallback_) {
    return false;
  }
  target_ = &target;
  callback_ = callback;
  info_ = info;
  return true;
}

bool FakeReachabilityService::setDispatchQueue(platform::ReachabilityTarget& /*target*/,
                                               platform::DispatchQueue* queue) {
  std::lock_guard lock(mutex_);
  if (queue != nullptr && refuseQueue_) {
    return false;
  }
  queue_ = queue;
  return true;
}

void FakeReachabilityService::setFlags(platform::ReachabilityFlags flags) {
  std::lock_guard lock(mutex_);
  flags_ = flags;
}

void FakeReachabilityService::triggerChange() {
  std::lock_guard lock(mutex_);
  if (callback_ == nullptr || queue_ == nullptr) {
    return;
  }
  queue_->async([target = target_, callback = callback_, info = info_, flags = flags_] {
    callback(*target, flags, info);
  });
}

bool FakeReachabilityService::delivering() const {
  std::lock_guard lock(mutex_);
  return callback_ != nullptr && queue_ != nullptr;
}

}  // namespace testsupport
