#pragma once

#include <mutex>
#include <thread>
#include <vector>

#include "UrlSession.h"

namespace platform {

// The URL session on libcurl: one background thread runs the multi interface,
// so any number of requests are in flight at once and connections are reused.
class CurlUrlSession final : public UrlSession {
 public:
  CurlUrlSession();
  ~CurlUrlSession() override;

  // Certificates (PEM) to trust for HTTPS services, in place of the
  // system's trust store: a group's own authority. Empty: the system's.
  static void setCertificateAuthorityFile(std::string path);
  // libcurl and its TLS library, once per process.
  static void initialiseLibraries();

  CurlUrlSession(const CurlUrlSession&) = delete;
  CurlUrlSession& operator=(const CurlUrlSession&) = delete;

  // One request under way; public for libcurl's callbacks only.
  struct Transfer;

 protected:
  void startTransfer(UrlRequest request, UrlSessionDataTask::Completion completion) override;

 private:
  void run();
  void addPending();
  void finishCompleted();
  static void deliver(Transfer& transfer, int result);

  void* multi_ = nullptr;  // CURLM*, kept out of the header
  std::mutex mutex_;
  std::vector<std::unique_ptr<Transfer>> pending_;
  std::vector<std::unique_ptr<Transfer>> active_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace platform
