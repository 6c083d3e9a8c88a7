#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A loopback HTTP server that keeps the exact bytes of every request and
// answers each with the next scripted reply (or the default one).
class RecordingHttpServer {
 public:
  struct Request {
    std::string raw;  // request line, headers and body, byte for byte
    std::string method;
    std::string target;
    std::string headerBlock;  // everything between the request line and the blank line
    std::string body;
  };
  struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
  };

  RecordingHttpServer();
  ~RecordingHttpServer();
  RecordingHttpServer(const RecordingHttpServer&) = delete;
  RecordingHttpServer& operator=(const RecordingHttpServer&) = delete;

  int port() const { return port_; }
  std::string baseUrl() const;

  void enqueueReply(Reply reply);
  void setDefaultReply(Reply reply);

  std::vector<Request> requests() const;
  bool waitForRequests(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  void serve();
  void handle(int connection);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Reply> replies_;
  Reply defaultReply_{200, "{}", "application/json"};
  std::vector<Request> requests_;
  std::thread thread_;
};

// A loopback port on which nothing listens (for refused connections).
int unusedLoopbackPort();

}  // namespace testsupport
