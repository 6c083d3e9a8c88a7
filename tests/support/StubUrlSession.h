#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/UrlSession.h"

namespace testsupport {

// A scripted service: records every request and answers it on a background
// thread of its own, as the real session does. A path without a script, or
// a script that gives nothing, is a transport failure (no body).
class StubUrlSession : public platform::UrlSession {
 public:
  struct Request {
    std::string method;
    std::string url;
    std::string path;   // without the query
    std::string query;  // after "?" ("" when the address ends in "?")
    std::string body;
    double timeoutInterval = 0;
    int cachePolicy = -1;
  };
  using Script = std::function<std::optional<std::string>(const Request&)>;

  StubUrlSession();

  // Answers requests for the endpoint path with the body (and the status).
  void reply(const std::string& path, std::string body, long status = 200);
  void reply(const std::string& path, Script script);
  void fail(const std::string& path);

  // Passes every request on to a real session (still recorded and counted).
  void forwardTo(std::shared_ptr<platform::UrlSession> session);

  // While held, requests are recorded but not answered until release().
  void hold();
  void release();

  std::vector<Request> requests() const;
  std::vector<std::string> paths() const;  // of every request so far, in order
  std::vector<Request> requestsTo(const std::string& path) const;
  void clearRequests();

  // No answer is being delivered right now (held requests do not count).
  bool idle() const { return delivering_.load() == 0; }

 protected:
  void startTransfer(platform::UrlRequest request,
                     platform::UrlSessionDataTask::Completion completion) override;

 private:
  void answer(const Request& request, const platform::UrlSessionDataTask::Completion& completion);

  mutable std::mutex mutex_;
  std::map<std::string, Script> scripts_;
  std::map<std::string, long> statuses_;
  std::vector<Request> requests_;
  bool holding_ = false;
  std::deque<std::pair<Request, platform::UrlSessionDataTask::Completion>> held_;
  std::atomic<int> delivering_{0};
  std::shared_ptr<platform::UrlSession> forward_;
  platform::DispatchQueue queue_;
};

}  // namespace testsupport
