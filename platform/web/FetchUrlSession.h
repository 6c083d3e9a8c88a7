#pragma once

#include <map>

#include "platform/UrlSession.h"

namespace platform {

// The URL session in a browser, on fetch. Completions are called as the
// libcurl session calls them: from a turn of the event loop of their own
// (never inside the main queue's work), with the body and the response, or
// with an error for a transport failure, an idle timeout or a reply too large.
class FetchUrlSession final : public UrlSession {
 public:
  // The browser answered transfer `id`: a status of 0 means it failed
  // (`failure` says how and `detail` what the browser said).
  void finished(int id, int status, const std::string& headers, const std::string& body,
                int failure, const std::string& detail);

  static FetchUrlSession& shared();

 protected:
  void startTransfer(UrlRequest request, UrlSessionDataTask::Completion completion) override;

 private:
  int nextId_ = 1;
  std::map<int, UrlSessionDataTask::Completion> inFlight_;
};

}  // namespace platform
