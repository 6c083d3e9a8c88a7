#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "UrlRequest.h"

namespace platform {

class UrlSession;

// One request handed to a session; nothing is sent until resume().
class UrlSessionDataTask {
 public:
  using Completion =
      std::function<void(std::optional<Data> body, std::optional<HttpUrlResponse> response,
                         std::optional<UrlError> error)>;

  UrlSessionDataTask(std::shared_ptr<UrlSession> session, UrlRequest request,
                     Completion completion);

  // Starts the transfer; a second call does nothing.
  void resume();

 private:
  std::shared_ptr<UrlSession> session_;
  UrlRequest request_;
  Completion completion_;
  bool resumed_ = false;
};

// Runs requests in the background and calls each completion on the session's
// own thread (never the main queue). On a transport failure (refused,
// timed out, host not found) the body is absent and the error says why.
class UrlSession : public std::enable_shared_from_this<UrlSession> {
 public:
  virtual ~UrlSession() = default;

  // The one session of the process (the system's unless a test installed
  // another: libcurl on Linux, fetch in a browser).
  static std::shared_ptr<UrlSession> sharedSession();
  static void setSharedSession(std::shared_ptr<UrlSession> session);

  // Certificates (PEM) to trust for HTTPS services in place of the system's
  // trust store. A browser has only its own store: there it is refused.
  static bool trustCertificateAuthorityFile(const std::string& path);

  // Defined by the system's session, which is chosen at build time: what it
  // needs set up once per process, and a new one.
  static void prepareSystemSession();
  static std::shared_ptr<UrlSession> makeSystemSession();

  std::shared_ptr<UrlSessionDataTask> dataTaskWithRequest(
      UrlRequest request, UrlSessionDataTask::Completion completion);

 protected:
  friend class UrlSessionDataTask;
  virtual void startTransfer(UrlRequest request, UrlSessionDataTask::Completion completion) = 0;
};

}  // namespace platform
