#include "RecordingHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

namespace {

int bindLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    throw std::runtime_error("socket failed");
  }
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

const char* reasonFor(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

RecordingHttpServer::RecordingHttpServer() {
  listener_ = bindLoopback(port_);
  ::listen(listener_, 64);
  thread_ = std::thread([this] { serve(); });
}

RecordingHttpServer::~RecordingHttpServer() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
}

std::string RecordingHttpServer::baseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void RecordingHttpServer::enqueueReply(Reply reply) {
  std::lock_guard lock(mutex_);
  replies_.push_back(std::move(reply));
}

void RecordingHttpServer::setDefaultReply(Reply reply) {
  std::lock_guard lock(mutex_);
  defaultReply_ = std::move(reply);
}

std::vector<RecordingHttpServer::Request> RecordingHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool RecordingHttpServer::waitForRequests(std::size_t count,
                                          std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void RecordingHttpServer::serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) {
      continue;
    }
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) {
      handle(connection);
      ::close(connection);
    }
  }
}

void RecordingHttpServer::handle(int connection) {
  std::string received;
  std::size_t headerEnd = std::string::npos;
  std::size_t wanted = std::string::npos;
  char buffer[8192];
  while (wanted == std::string::npos || received.size() < wanted) {
    pollfd readable{connection, POLLIN, 0};
    if (::poll(&readable, 1, 2000) <= 0) {
      return;  // a client that stalls is dropped
    }
    const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) {
      return;
    }
    received.append(buffer, static_cast<std::size_t>(n));
    if (headerEnd == std::string::npos) {
      headerEnd = received.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        std::size_t contentLength = 0;
        const std::string headers = received.substr(0, headerEnd);
        for (const char* name : {"Content-Length:", "content-length:"}) {
          if (const auto at = headers.find(name); at != std::string::npos) {
            contentLength = std::strtoul(headers.c_str() + at + 15, nullptr, 10);
          }
        }
        wanted = headerEnd + 4 + contentLength;
      }
    }
  }

  Request request;
  request.raw = received;
  const std::size_t lineEnd = received.find("\r\n");
  const std::string line = received.substr(0, lineEnd);
  const std::size_t firstSpace = line.find(' ');
  const std::size_t lastSpace = line.rfind(' ');
  request.method = line.substr(0, firstSpace);
  request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
  request.headerBlock = received.substr(lineEnd + 2, headerEnd - lineEnd - 2);
  request.body = received.substr(headerEnd + 4);

  Reply reply;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (!replies_.empty()) {
      reply = replies_.front();
      replies_.pop_front();
    } else {
      reply = defaultReply_;
    }
  }
  changed_.notify_all();

  const std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                               reasonFor(reply.status) + "\r\nContent-Type: " + reply.contentType +
                               "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                               "\r\nConnection: close\r\n\r\n" + reply.body;
  std::size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t n =
        ::send(connection, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return;
    }
    sent += static_cast<std::size_t>(n);
  }
}

int unusedLoopbackPort() {
  int port = 0;
  const int fd = bindLoopback(port);
  ::close(fd);  // nothing listens there now: connections are refused
  return port;
}

}  // namespace testsupport
