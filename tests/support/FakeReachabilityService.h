#pragma once

#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/ReachabilityService.h"

namespace testsupport {

// A reachability service whose flags the test sets and whose changes the
// test triggers; it can refuse names, the callback or the queue.
class FakeReachabilityService : public platform::ReachabilityService {
 public:
  std::shared_ptr<platform::ReachabilityTarget> createWithName(
      const std::string& hostName) override;
  std::shared_ptr<platform::ReachabilityTarget> createWithAddress(
      const sockaddr_in& address) override;
  bool getFlags(platform::ReachabilityTarget& target, platform::ReachabilityFlags& flags) override;
  bool setCallback(platform::ReachabilityTarget& target, Callback callback, void* info) override;
  bool setDispatchQueue(platform::ReachabilityTarget& target,
                        platform::DispatchQueue* queue) override;

  void setFlags(platform::ReachabilityFlags flags);
  // Each read takes the next flags of the list; the last ones stay.
  void setFlagsPerRead(std::vector<platform::ReachabilityFlags> flags);
  // Reports a change as the system would: the callback on the set queue.
  void triggerChange();

  void rejectName(const std::string& name) { rejected_.insert(name); }
  void refuseCallback(bool refuse) { refuseCallback_ = refuse; }
  void refuseQueue(bool refuse) { refuseQueue_ = refuse; }
  void failReads(bool fail) { failReads_ = fail; }

  bool delivering() const;
  int reads() const { return reads_; }

 private:
  mutable std::mutex mutex_;
  platform::ReachabilityFlags flags_ = 0;
  std::deque<platform::ReachabilityFlags> perRead_;
  std::set<std::string> rejected_;
  bool refuseCallback_ = false;
  bool refuseQueue_ = false;
  bool failReads_ = false;
  int reads_ = 0;
  platform::ReachabilityTarget* target_ = nullptr;
  Callback callback_ = nullptr;
  void* info_ = nullptr;
  platform::DispatchQueue* queue_ = nullptr;
};

}  // namespace testsupport
