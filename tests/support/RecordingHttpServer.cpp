#include "RecordingHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "service/HttpClient.h"

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

bool sendAll(int connection, const char* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(connection, data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

RecordingHttpServer::RecordingHttpServer() {
  listener_ = bindLoopback(port_);
  ::listen(listener_, 256);
  thread_ = std::thread([this] { serve(); });
}

RecordingHttpServer::~RecordingHttpServer() {
  stopping_ = true;
  thread_.join();
  for (auto& connection : connections_) {
    connection.join();
  }
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

void RecordingHttpServer::setReplyFor(const std::string& path, Reply reply) {
  std::lock_guard lock(mutex_);
  byPath_[path] = std::move(reply);
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
      const int open = ++open_;
      int peak = peak_.load();
      while (open > peak && !peak_.compare_exchange_weak(peak, open)) {
      }
      connections_.emplace_back([this, connection] {
        handle(connection);
        ::close(connection);
        --open_;
      });
    }
  }
}

void RecordingHttpServer::handle(int connection) {
  // Requests on one connection are read until the client closes it.
  std::string received;
  char buffer[8192];
  while (!stopping_) {
    std::size_t headerEnd = received.find("\r\n\r\n");
    std::size_t wanted = std::string::npos;
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
    if (wanted != std::string::npos && received.size() >= wanted) {
      Request request;
      request.raw = received.substr(0, wanted);
      const std::size_t lineEnd = received.find("\r\n");
      const std::string line = received.substr(0, lineEnd);
      const std::size_t firstSpace = line.find(' ');
      const std::size_t lastSpace = line.rfind(' ');
      request.method = line.substr(0, firstSpace);
      request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
      request.headerBlock = received.substr(lineEnd + 2, headerEnd - lineEnd - 2);
      request.body = received.substr(headerEnd + 4, wanted - headerEnd - 4);
      received.erase(0, wanted);
      const Reply reply = replyFor(request);
      if (reply.silent) {
        while (!stopping_) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return;
      }
      if (reply.forwardTo != 0) {
        HttpClient upstream(reply.forwardTo);
        const auto answer = upstream.sendRaw(request.raw) ? upstream.readResponse() : std::nullopt;
        if (!answer || reply.dropRelay) {
          return;
        }
        send(connection, {answer->status, answer->body});
        continue;
      }
      send(connection, reply);
      continue;
    }
    pollfd readable{connection, POLLIN, 0};
    if (::poll(&readable, 1, 50) <= 0) {
      continue;
    }
    const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) {
      return;
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
}

RecordingHttpServer::Reply RecordingHttpServer::replyFor(const Request& request) {
  Reply reply;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    const auto path = byPath_.find(request.target.substr(0, request.target.find('?')));
    if (path != byPath_.end()) {
      reply = path->second;
    } else if (!replies_.empty()) {
      reply = replies_.front();
      replies_.pop_front();
    } else {
      reply = defaultReply_;
    }
  }
  changed_.notify_all();
  return reply;
}

void RecordingHttpServer::send(int connection, const Reply& reply) {
  std::string head =
      "HTTP/1.1 " + std::to_string(reply.status) + " Status\r\nContent-Type: " + reply.contentType +
      "\r\nContent-Length: " + std::to_string(reply.declaredLength.value_or(reply.body.size())) +
      "\r\n";
  for (const std::string& header : reply.headers) {
    head += header + "\r\n";
  }
  head += "\r\n";
  if (!sendAll(connection, head.data(), head.size())) {
    return;
  }
  const std::size_t piece = reply.pieceBytes > 0 ? reply.pieceBytes : reply.body.size();
  for (std::size_t at = 0; at < reply.body.size(); at += piece) {
    if (at > 0) {
      std::this_thread::sleep_for(reply.pause);
    }
    if (!sendAll(connection, reply.body.data() + at, std::min(piece, reply.body.size() - at))) {
      return;
    }
  }
  if (reply.declaredLength && *reply.declaredLength > reply.body.size()) {
    ::shutdown(connection, SHUT_RDWR);  // cut off mid-reply
  }
}

int unusedLoopbackPort() {
  int port = 0;
  const int fd = bindLoopback(port);
  ::close(fd);  // nothing listens there now: connections are refused
  return port;
}

}  // namespace testsupport
