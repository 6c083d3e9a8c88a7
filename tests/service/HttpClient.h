#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

namespace testsupport {

// A blocking HTTP/1.1 client on one keep-alive connection, for tests that
// need to see the connection itself.
class HttpClient {
 public:
  struct Response {
    int status = 0;
    std::string headers;
    std::string body;
  };

  // From `from` (another loopback address such as "127.0.0.2", for a second
  // client) when given; with a receive buffer of that many bytes, for a
  // client that reads little.
  explicit HttpClient(int port, const std::string& from = "", int receiveBuffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    if (!from.empty()) {
      sockaddr_in source{};
      source.sin_family = AF_INET;
      ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
      ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~HttpClient() { ::close(fd_); }
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  bool connected() const { return connected_; }

  bool sendRaw(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) {
        return false;
      }
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  // `headers`: more header lines, each ending in CRLF.
  std::optional<Response> request(const std::string& method, const std::string& target,
                                  const std::string& body = "", const std::string& headers = "") {
    std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
    if (method == "POST") {
      text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    text += "\r\n" + body;
    if (!sendRaw(text)) {
      return std::nullopt;
    }
    return readResponse();
  }

  std::optional<Response> readResponse(
      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    while (true) {
      const std::size_t headerEnd = buffer_.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        Response response;
        response.headers = buffer_.substr(0, headerEnd);
        response.status = std::stoi(buffer_.substr(9, 3));
        std::size_t length = 0;
        const auto at = response.headers.find("Content-Length: ");
        if (at != std::string::npos) {
          length = std::stoul(response.headers.substr(at + 16));
        }
        if (buffer_.size() >= headerEnd + 4 + length) {
          response.body = buffer_.substr(headerEnd + 4, length);
          buffer_.erase(0, headerEnd + 4 + length);
          return response;
        }
      }
      if (!receive(timeout)) {
        return std::nullopt;
      }
    }
  }

  // For replies that stay open (a stream of events): whether the text has
  // arrived within the time, and everything received so far.
  bool waitFor(const std::string& text,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (buffer_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !receive(left)) {
        return buffer_.find(text) != std::string::npos;
      }
    }
    return true;
  }
  const std::string& received() const { return buffer_; }

  // True when the server closed the connection within the time.
  bool closedByPeer(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd readable{fd_, POLLIN, 0};
      if (::poll(&readable, 1, 50) > 0) {
        char byte;
        if (::recv(fd_, &byte, 1, 0) <= 0) {
          return true;
        }
      }
    }
    return false;
  }

 private:
  bool receive(std::chrono::milliseconds timeout) {
    pollfd readable{fd_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(timeout.count())) <= 0) {
      return false;
    }
    char chunk[16384];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

// Base64 as HTTP Basic credentials are written.
inline std::string base64(const std::string& text) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (const unsigned char c : text) {
    buffer = (buffer << 8U) | c;
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += alphabet[(buffer >> static_cast<unsigned>(bits)) & 0x3FU];
    }
  }
  if (bits > 0) {
    out += alphabet[(buffer << static_cast<unsigned>(6 - bits)) & 0x3FU];
  }
  while (out.size() % 4 != 0) {
    out += '=';
  }
  return out;
}

// The value of an Authorization header for the name and password.
inline std::string basicCredentials(const std::string& name, const std::string& password) {
  return "Basic " + base64(name + ":" + password);
}

// Stores "Shop 01", "Shop 02", ... added straight to the service (faster than
// through an app); false when one was refused.
inline bool addShops(int port, int count) {
  HttpClient service(port);
  for (int i = 1; i <= count; ++i) {
    const std::string name = (i < 10 ? "Shop 0" : "Shop ") + std::to_string(i);
    const auto reply = service.request("POST", "/kelvane/qx/addStore.php",
                                       R"(store={"name":")" + name + R"(","created":"Bo"})");
    if (!reply || reply->status != 200) {
      return false;
    }
  }
  return true;
}

}  // namespace testsupport
