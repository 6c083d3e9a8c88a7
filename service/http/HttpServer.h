#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
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
#include "security/AccessControl.h"
#include "security/TlsCertificates.h"

namespace vantory::service {

struct HttpServerOptions {
  std::string host = "127.0.0.1";  // an address or a host name
  unsigned short port = 8080;
  int threads = 1;
  std::chrono::milliseconds timeout = std::chrono::seconds(30);
  // Connections open at once, in all and from one client address; more are
  // answered 503 or 429 and closed.
  std::size_t maxConnections = 1024;
  std::size_t maxConnectionsPerClient = 256;
  // HTTPS when set; plain HTTP otherwise.
  TlsCertificates* tls = nullptr;
  // Set when only listed users may use the service.
  AccessControl* access = nullptr;
  // Set when the web app's files are served.
  WebFiles* web = nullptr;
  // Load balancers (addresses as text, such as "127.0.0.1") whose requests
  // name their client in X-Forwarded-For: lockouts and the access log then
  // see that client, not the balancer.
  std::vector<std::string> trustedProxies;
  // Set when clients may follow changes live, with the keep-alive period of
  // their streams.
  ChangeFeed* changes = nullptr;
  std::chrono::seconds eventKeepAlive{15};
};

// Accepts connections and runs them on a pool of I/O threads.
class HttpServer {
 public:
  HttpServer(RequestHandler& handler, const AccessLog& log, HttpServerOptions options);
  ~HttpServer();

  // Binds and listens; throws with a clear message when the address cannot
  // be used. Returns the port (useful when asked for port 0).
  unsigned short listen();
  // The address listened on, as text ("127.0.0.1", "::1").
  std::string listeningAddress() const;
  // Whether only this machine can reach the address listened on.
  bool listensOnLoopbackOnly() const;
  // Serves until stop(): then accepts nothing more, lets requests under way
  // finish, closes idle connections and returns.
  void run();
  // Safe from any thread and from a signal handler's posted work.
  void stop();

 private:
  struct OpenSession {
    std::weak_ptr<HttpSession> session;
    std::string client;
  };

  void accept();
  void accepted(boost::asio::ip::tcp::socket socket);
  // Waits a while before accepting again (out of descriptors, say) instead of
  // spinning on the error.
  void backOff(const boost::system::error_code& error);
  // Descriptors kept in reserve: given up when the process runs out, so that
  // it can still log and answer, and taken back before accepting again.
  void releaseReserve();
  bool restoreReserve();
  void opened(const std::shared_ptr<HttpSession>& session);
  void closed(const void* session);
  std::vector<std::shared_ptr<HttpSession>> openSessions();

  RequestHandler& handler_;
  const AccessLog& log_;
  HttpServerOptions options_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer acceptRetry_;
  std::chrono::milliseconds acceptDelay_{0};
  std::vector<int> reserve_;
  std::atomic<bool> stopping_{false};
  SessionContext context_;
  std::mutex sessionsMutex_;
  std::unordered_map<const void*, OpenSession> sessions_;
  // Connections counted from acceptance (sessions not yet registered too).
  std::size_t connections_ = 0;
  std::map<std::string, std::size_t> connectionsPerClient_;
  std::shared_ptr<boost::asio::steady_timer> graceTimer_;
};

}  // namespace vantory::service
