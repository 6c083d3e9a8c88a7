#include "UrlSession.h"

#include <mutex>

namespace platform {

namespace {
std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}
std::shared_ptr<UrlSession>& sharedSlot() {
  // The libraries first: objects made at exit are destroyed in reverse, so
  // the session (and its thread's TLS state) ends before they clean up.
  UrlSession::prepareSystemSession();
  static std::shared_ptr<UrlSession> session;
  return session;
}
}  // namespace

UrlSessionDataTask::UrlSessionDataTask(std::shared_ptr<UrlSession> session, UrlRequest request,
                                       Completion completion)
    : session_(std::move(session)),
      request_(std::move(request)),
      completion_(std::move(completion)) {}

void UrlSessionDataTask::resume() {
  if (resumed_) {
    return;
  }
  resumed_ = true;
  session_->startTransfer(std::move(request_), std::move(completion_));
}

std::shared_ptr<UrlSession> UrlSession::sharedSession() {
  std::lock_guard lock(sharedMutex());
  auto& session = sharedSlot();
  if (!session) {
    session = makeSystemSession();
  }
  return session;
}

void UrlSession::setSharedSession(std::shared_ptr<UrlSession> session) {
  std::lock_guard lock(sharedMutex());
  sharedSlot() = std::move(session);
}

std::shared_ptr<UrlSessionDataTask> UrlSession::dataTaskWithRequest(
    UrlRequest request, UrlSessionDataTask::Completion completion) {
  return std::make_shared<UrlSessionDataTask>(shared_from_this(), std::move(request),
                                              std::move(completion));
}

}  // namespace platform
