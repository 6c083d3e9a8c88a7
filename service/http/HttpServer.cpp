#include "HttpServer.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <stdexcept>
#include <thread>
#include <vector>

namespace vantory::service {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

HttpServer::HttpServer(RequestHandler& handler, const AccessLog& log, HttpServerOptions options)
    : handler_(handler),
      log_(log),
      options_(std::move(options)),
      io_(std::max(1, options_.threads)),
      acceptor_(asio::make_strand(io_)),
      context_{handler_,
               log_,
               options_.timeout,
               stopping_,
               [this](const std::shared_ptr<HttpSession>& session) { opened(session); },
               [this](const void* session) { closed(session); }} {}

HttpServer::~HttpServer() {
  // Connections cut off by the grace period still hold work in the I/O
  // context: close them and let that work end while the registry exists.
  stopping_ = true;
  boost::system::error_code ignored;
  acceptor_.close(ignored);
  {
    std::lock_guard lock(sessionsMutex_);
    graceTimer_.reset();
  }
  for (const auto& session : openSessions()) {
    session->closeNow();
  }
  io_.restart();
  io_.run_for(std::chrono::seconds(2));
}

unsigned short HttpServer::listen() {
  boost::system::error_code error;
  const auto address = asio::ip::make_address(options_.host, error);
  if (error) {
    throw std::runtime_error("\"" + options_.host + "\" is not an IP address to listen on");
  }
  const tcp::endpoint endpoint(address, options_.port);
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
  if (error) {
    throw std::runtime_error("cannot listen on " + options_.host + ":" +
                             std::to_string(options_.port) + ": " + error.message());
  }
  return acceptor_.local_endpoint().port();
}

void HttpServer::accept() {
  acceptor_.async_accept(asio::make_strand(io_),
                         [this](boost::system::error_code error, tcp::socket socket) {
                           if (!error && !stopping_) {
                             socket.set_option(tcp::no_delay(true), error);
                             std::make_shared<HttpSession>(std::move(socket), context_)->start();
                           }
                           if (acceptor_.is_open() && !stopping_) {
                             accept();
                           }
                         });
}

std::vector<std::shared_ptr<HttpSession>> HttpServer::openSessions() {
  std::vector<std::shared_ptr<HttpSession>> open;
  std::lock_guard lock(sessionsMutex_);
  for (auto& [key, weak] : sessions_) {
    if (auto session = weak.lock()) {
      open.push_back(std::move(session));
    }
  }
  return open;
}

void HttpServer::opened(const std::shared_ptr<HttpSession>& session) {
  std::lock_guard lock(sessionsMutex_);
  sessions_[session.get()] = session;
}

void HttpServer::closed(const void* session) {
  std::lock_guard lock(sessionsMutex_);
  sessions_.erase(session);
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
