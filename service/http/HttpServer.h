#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "api/RequestHandler.h"
#include "http/AccessLog.h"
#include "http/HttpSession.h"

namespace vantory::service {

struct HttpServerOptions {
  std::string host = "127.0.0.1";
  unsigned short port = 8080;
  int threads = 1;
  std::chrono::milliseconds timeout = std::chrono::seconds(30);
};

// Accepts connections and runs them on a pool of I/O threads.
class HttpServer {
 public:
  HttpServer(RequestHandler& handler, const AccessLog& log, HttpServerOptions options);
  ~HttpServer();

  // Binds and listens; throws with a clear message when the address cannot
  // be used. Returns the port (useful when asked for port 0).
  unsigned short listen();
  // Serves until stop(): then accepts nothing more, lets requests under way
  // finish, closes idle connections and returns.
  void run();
  // Safe from any thread and from a signal handler's posted work.
  void stop();

 private:
  void accept();
  void opened(const std::shared_ptr<HttpSession>& session);
  void closed(const void* session);
  std::vector<std::shared_ptr<HttpSession>> openSessions();

  RequestHandler& handler_;
  const AccessLog& log_;
  HttpServerOptions options_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::atomic<bool> stopping_{false};
  SessionContext context_;
  std::mutex sessionsMutex_;
  std::unordered_map<const void*, std::weak_ptr<HttpSession>> sessions_;
  std::shared_ptr<boost::asio::steady_timer> graceTimer_;
};

}  // namespace vantory::service
