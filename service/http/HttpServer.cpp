#include "HttpServer.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace vantory::service {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

constexpr std::chrono::milliseconds kFirstRetry{50};
constexpr std::chrono::milliseconds kLongestRetry{1000};
constexpr std::size_t kReservedDescriptors = 4;

// The addresses to try for the host: itself when it is an address, else what
// the name resolves to, IPv4 first (what clients try first for "localhost").
std::vector<tcp::endpoint> endpointsFor(asio::io_context& io, const std::string& host,
                                        unsigned short port) {
  boost::system::error_code error;
  const auto address = asio::ip::make_address(host, error);
  if (!error) {
    return {tcp::endpoint(address, port)};
  }
  tcp::resolver resolver(io);
  const auto results = resolver.resolve(host, std::to_string(port), error);
  if (error) {
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) + ": " +
                             error.message());
  }
  std::vector<tcp::endpoint> endpoints;
  for (const auto& entry : results) {
    endpoints.push_back(entry.endpoint());
  }
  std::stable_partition(endpoints.begin(), endpoints.end(),
                        [](const tcp::endpoint& endpoint) { return endpoint.address().is_v4(); });
  return endpoints;
}

}  // namespace

HttpServer::HttpServer(RequestHandler& handler, const AccessLog& log, HttpServerOptions options)
    : handler_(handler),
      log_(log),
      options_(std::move(options)),
      io_(std::max(1, options_.threads)),
      acceptor_(asio::make_strand(io_)),
      acceptRetry_(acceptor_.get_executor()),
      context_{handler_,
               log_,
               options_.timeout,
               stopping_,
               options_.access,
               options_.web,
               &options_.trustedProxies,
               [this](const std::shared_ptr<HttpSession>& session) { opened(session); },
               [this](const void* session) { closed(session); },
               options_.changes,
               options_.eventKeepAlive} {
  restoreReserve();
}

HttpServer::~HttpServer() {
  // Connections cut off by the grace period still hold work in the I/O
  // context: close them and let that work end while the registry exists.
  stopping_ = true;
  boost::system::error_code ignored;
  acceptor_.close(ignored);
  acceptRetry_.cancel();
  {
    std::lock_guard lock(sessionsMutex_);
    graceTimer_.reset();
  }
  for (const auto& session : openSessions()) {
    session->closeNow();
  }
  io_.restart();
  io_.run_for(std::chrono::seconds(2));
  releaseReserve();
}

void HttpServer::releaseReserve() {
  for (const int fd : reserve_) {
    ::close(fd);
  }
  reserve_.clear();
}

bool HttpServer::restoreReserve() {
  while (reserve_.size() < kReservedDescriptors) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      return false;
    }
    reserve_.push_back(fd);
  }
  return true;
}

unsigned short HttpServer::listen() {
  std::string failure = "nothing to listen on";
  for (const tcp::endpoint& endpoint : endpointsFor(io_, options_.host, options_.port)) {
    boost::system::error_code error;
    acceptor_.open(endpoint.protocol(), error);
    if (!error) {
      acceptor_.set_option(asio::socket_base::reuse_address(true), error);
    }
    if (!error) {
      acceptor_.bind(endpoint, error);
    }
    if (!error) {
      acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    if (!error) {
      return acceptor_.local_endpoint().port();
    }
    failure = error.message();
    boost::system::error_code ignored;
    acceptor_.close(ignored);
  }
  throw std::runtime_error("cannot listen on " + options_.host + ":" +
                           std::to_string(options_.port) + ": " + failure);
}

bool HttpServer::listensOnLoopbackOnly() const {
  boost::system::error_code error;
  const auto endpoint = acceptor_.local_endpoint(error);
  return !error && endpoint.address().is_loopback();
}

std::string HttpServer::listeningAddress() const {
  boost::system::error_code error;
  const auto endpoint = acceptor_.local_endpoint(error);
  return error ? options_.host : endpoint.address().to_string();
}

void HttpServer::accept() {
  acceptor_.async_accept(asio::make_strand(io_),
                         [this](boost::system::error_code error, tcp::socket socket) {
                           if (stopping_ || !acceptor_.is_open()) {
                             return;
                           }
                           if (error) {
                             backOff(error);
                             return;
                           }
                           acceptDelay_ = std::chrono::milliseconds(0);
                           accepted(std::move(socket));
                           accept();
                         });
}

void HttpServer::backOff(const boost::system::error_code& error) {
  if (error == asio::error::no_descriptors || error.value() == ENFILE) {
    releaseReserve();
  }
  if (acceptDelay_.count() == 0) {
    log_.message(LogLevel::warn, "cannot accept connections for now (" + error.message() +
                                     "); trying again shortly");
  }
  acceptDelay_ = std::min(kLongestRetry, std::max(kFirstRetry, acceptDelay_ * 2));
  acceptRetry_.expires_after(acceptDelay_);
  acceptRetry_.async_wait([this, error](boost::system::error_code waited) {
    if (waited || stopping_ || !acceptor_.is_open()) {
      return;
    }
    if (!restoreReserve()) {
      backOff(error);  // still out of descriptors
      return;
    }
    accept();
  });
}

void HttpServer::accepted(tcp::socket socket) {
  boost::system::error_code error;
  const auto peer = socket.remote_endpoint(error);
  if (error) {
    return;  // gone already
  }
  const std::string client = peer.address().to_string();
  int refusal = 0;
  {
    std::lock_guard lock(sessionsMutex_);
    std::size_t& fromClient = connectionsPerClient_[client];
    if (connections_ >= options_.maxConnections) {
      refusal = 503;
    } else if (fromClient >= options_.maxConnectionsPerClient) {
      refusal = 429;
    } else {
      ++fromClient;
      ++connections_;
    }
    if (fromClient == 0) {
      connectionsPerClient_.erase(client);
    }
  }
  socket.set_option(tcp::no_delay(true), error);
  auto tls = options_.tls != nullptr ? options_.tls->current() : nullptr;
  std::optional<HttpSession::Refusal> turnedAway;
  if (refusal == 503) {
    turnedAway = {503, "The service has as many connections as it can take; try again shortly."};
  } else if (refusal == 429) {
    turnedAway = {429, "Too many connections from your address at once; close some and try again."};
  }
  std::make_shared<HttpSession>(std::move(socket), client, context_, std::move(tls),
                                std::move(turnedAway))
      ->start();
}

std::vector<std::shared_ptr<HttpSession>> HttpServer::openSessions() {
  std::vector<std::shared_ptr<HttpSession>> open;
  std::lock_guard lock(sessionsMutex_);
  for (auto& [key, entry] : sessions_) {
    if (auto session = entry.session.lock()) {
      open.push_back(std::move(session));
    }
  }
  return open;
}

void HttpServer::opened(const std::shared_ptr<HttpSession>& session) {
  std::lock_guard lock(sessionsMutex_);
  sessions_[session.get()] = {session, session->client()};
}

void HttpServer::closed(const void* session) {
  std::lock_guard lock(sessionsMutex_);
  const auto found = sessions_.find(session);
  if (found != sessions_.end()) {
    const auto client = connectionsPerClient_.find(found->second.client);
    if (client != connectionsPerClient_.end() && --client->second == 0) {
      connectionsPerClient_.erase(client);
    }
    --connections_;
    sessions_.erase(found);
  }
  if (stopping_ && sessions_.empty() && graceTimer_) {
    // The last connection is done: no need to wait out the grace period.
    asio::post(acceptor_.get_executor(), [timer = graceTimer_] { timer->cancel(); });
  }
}

void HttpServer::run() {
  accept();
  const int count = std::max(1, options_.threads);
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(count - 1));
  for (int i = 1; i < count; ++i) {
    threads.emplace_back([this] { io_.run(); });
  }
  io_.run();
  for (auto& thread : threads) {
    thread.join();
  }
}

void HttpServer::stop() {
  asio::post(acceptor_.get_executor(), [this] {
    if (stopping_.exchange(true)) {
      return;
    }
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    acceptRetry_.cancel();
    {
      std::lock_guard lock(sessionsMutex_);
      if (!sessions_.empty()) {
        // Whatever still runs after a grace period is cut off.
        graceTimer_ = std::make_shared<asio::steady_timer>(io_, std::chrono::seconds(10));
        graceTimer_->async_wait([this](boost::system::error_code error) {
          if (!error) {
            io_.stop();
          }
        });
      }
    }
    for (const auto& session : openSessions()) {
      session->closeIfIdle();
    }
  });
}

}  // namespace vantory::service
