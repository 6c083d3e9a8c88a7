#include "StubUrlSession.h"

namespace testsupport {

StubUrlSession::StubUrlSession() : queue_("com.vantory.tests.stub-session") {}

void StubUrlSession::reply(const std::string& path, std::string body, long status) {
  reply(path,
        [body = std::move(body)](const Request&) { return std::optional<std::string>(body); });
  std::lock_guard lock(mutex_);
  statuses_[path] = status;
}

void StubUrlSession::reply(const std::string& path, Script script) {
  std::lock_guard lock(mutex_);
  scripts_[path] = std::move(script);
  statuses_.erase(path);
}

void StubUrlSession::fail(const std::string& path) {
  reply(path, [](const Request&) { return std::optional<std::string>(); });
}

void StubUrlSession::forwardTo(std::shared_ptr<platform::UrlSession> session) {
  std::lock_guard lock(mutex_);
  forward_ = std::move(session);
}

void StubUrlSession::hold() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void StubUrlSession::release() {
  std::deque<std::pair<Request, platform::UrlSessionDataTask::Completion>> ready;
  {
    std::lock_guard lock(mutex_);
    holding_ = false;
    ready.swap(held_);
  }
  for (auto& [request, completion] : ready) {
    answer(request, completion);
  }
}

std::vector<StubUrlSession::Request> StubUrlSession::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> StubUrlSession::paths() const {
  std::vector<std::string> result;
  for (const auto& request : requests()) {
    result.push_back(request.path);
  }
  return result;
}

std::vector<StubUrlSession::Request> StubUrlSession::requestsTo(const std::string& path) const {
  std::vector<Request> result;
  for (const auto& request : requests()) {
    if (request.path == path) {
      result.push_back(request);
    }
  }
  return result;
}

void StubUrlSession::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

void StubUrlSession::startTransfer(platform::UrlRequest request,
                                   platform::UrlSessionDataTask::Completion completion) {
  Request recorded;
  recorded.method = request.httpMethod;
  recorded.url = request.url.absoluteString();
  const std::string& target = request.url.requestTarget();
  const auto question = target.find('?');
  recorded.path = target.substr(0, question);
  recorded.query = question == std::string::npos ? "" : target.substr(question + 1);
  recorded.body = request.httpBody.value_or("");
  recorded.timeoutInterval = request.timeoutInterval;
  recorded.cachePolicy = request.cachePolicy;
  std::shared_ptr<platform::UrlSession> forward;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(recorded);
    forward = forward_;
  }
  if (forward) {
    // A stream stays open: settling waits for replies, not for it.
    const bool stream = static_cast<bool>(request.onBodyPart);
    delivering_ += stream ? 0 : 1;
    forward
        ->dataTaskWithRequest(std::move(request),
                              [this, stream, completion = std::move(completion)](
                                  const std::optional<platform::Data>& body,
                                  const std::optional<platform::HttpUrlResponse>& response,
                                  const std::optional<platform::UrlError>& error) {
                                completion(body, response, error);
                                delivering_ -= stream ? 0 : 1;
                              })
        ->resume();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (holding_) {
      held_.emplace_back(std::move(recorded), std::move(completion));
      return;
    }
  }
  answer(recorded, completion);
}

void StubUrlSession::answer(const Request& request,
                            const platform::UrlSessionDataTask::Completion& completion) {
  ++delivering_;
  queue_.async([this, request, completion] {
    Script script;
    long status = 200;
    {
      std::lock_guard lock(mutex_);
      const auto found = scripts_.find(request.path);
      if (found != scripts_.end()) {
        script = found->second;
      }
      if (const auto code = statuses_.find(request.path); code != statuses_.end()) {
        status = code->second;
      }
    }
    const std::optional<std::string> body = script ? script(request) : std::nullopt;
    if (body) {
      completion(*body, platform::HttpUrlResponse{status, {}}, std::nullopt);
    } else {
      completion(std::nullopt, std::nullopt,
                 platform::UrlError{7, "Could not connect", std::nullopt});
    }
    --delivering_;
  });
}

}  // namespace testsupport
