#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

// A loopback HTTP server that keeps the exact bytes of every request and
// answers each with a scripted reply: the one set for its path, else the next
// queued, else the default. Connections are served concurrently, each on a
// thread of its own, so many requests can really be in flight at once.
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
    // Further header lines ("Location: /x").
    std::vector<std::string> headers = {};
    // Sent as Content-Length instead of the body's size: a larger value makes
    // a reply cut off in the middle.
    std::optional<std::size_t> declaredLength = std::nullopt;
    // A slow peer: the body goes out in pieces of this many bytes with the
    // pause between them.
    std::size_t pieceBytes = 0;
    std::chrono::milliseconds pause{0};
    // Never answers (until the server ends).
    bool silent = false;
    // Passed on to the server on this loopback port and its reply relayed;
    // with dropRelay the connection is closed instead once that server has
    // answered: a reply lost on its way back.
    int forwardTo = 0;
    bool dropRelay = false;
  };

  RecordingHttpServer();
  ~RecordingHttpServer();
  RecordingHttpServer(const RecordingHttpServer&) = delete;
  RecordingHttpServer& operator=(const RecordingHttpServer&) = delete;

  int port() const { return port_; }
  std::string baseUrl() const;

  void enqueueReply(Reply reply);
  void setDefaultReply(Reply reply);
  // Every request for the path (the target without its query) gets the reply.
  void setReplyFor(const std::string& path, Reply reply);

  std::vector<Request> requests() const;
  bool waitForRequests(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // The most connections that were open at the same moment.
  int peakConnections() const { return peak_.load(); }

 private:
  void serve();
  void handle(int connection);
  Reply replyFor(const Request& request);
  void send(int connection, const Reply& reply);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> open_{0};
  std::atomic<int> peak_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Reply> replies_;
  std::map<std::string, Reply> byPath_;
  Reply defaultReply_{200, "{}", "application/json"};
  std::vector<Request> requests_;
  std::vector<std::thread> connections_;
  std::thread thread_;
};

// A loopback port on which nothing listens (for refused connections).
int unusedLoopbackPort();

}  // namespace testsupport
