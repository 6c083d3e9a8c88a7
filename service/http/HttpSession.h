#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include "api/RequestHandler.h"
#include "events/ChangeFeed.h"
#include "http/AccessLog.h"
#include "http/WebFiles.h"
#include "security/AccessControl.h"

namespace vantory::service {

// What every connection shares.
class HttpSession;

struct SessionContext {
  RequestHandler& handler;
  const AccessLog& log;
  std::chrono::milliseconds timeout;  // for each read and write, and while idle
  std::atomic<bool>& stopping;
  // Set when every request must carry the credentials of a listed user.
  AccessControl* access = nullptr;
  // The web app's files, served at the paths outside the API's; none when off.
  WebFiles* web = nullptr;
  // Peers whose X-Forwarded-For is believed.
  const std::vector<std::string>* trustedProxies = nullptr;
  // The registry of live sessions, for shutdown and the connection caps.
  std::function<void(const std::shared_ptr<HttpSession>& session)> opened;
  std::function<void(const void* session)> closed;
  // Set when clients may follow changes live; a comment line goes out on an
  // idle stream this often, so that proxies keep it open.
  ChangeFeed* changes = nullptr;
  std::chrono::seconds keepAlive{15};
};

// A response as it goes out: its head, and a body shared with whoever else
// holds it, so a cached reply goes out without being copied.
struct Response {
  std::shared_ptr<const std::string> payload;
  boost::beast::http::response<boost::beast::http::span_body<const char>> message;
};
std::shared_ptr<Response> makeResponse(const ApiReply& reply, unsigned version, bool keepAlive);

// One client connection, plain or over TLS: reads requests (HTTP/1.1,
// keep-alive), hands each to the request handler, writes the reply. It only
// shakes hands, reads, writes, times out and closes.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  static constexpr std::uint32_t kHeaderLimit = 8 * 1024;
  static constexpr std::uint64_t kBodyLimit = std::uint64_t{64} * 1024;

  // A reply sent instead of reading any request (a connection over a cap).
  struct Refusal {
    int status;
    std::string message;
  };

  // With a TLS context the connection is HTTPS; the context is kept for the
  // life of the connection, whatever reloads happen meanwhile.
  HttpSession(boost::asio::ip::tcp::socket socket, std::string client, SessionContext& context,
              std::shared_ptr<boost::asio::ssl::context> tls,
              std::optional<Refusal> refusal = std::nullopt);
  ~HttpSession();

  void start();
  // The peer's address, as text.
  const std::string& client() const { return client_; }
  // For shutdown: closes the connection if no request is under way.
  void closeIfIdle();
  void closeNow();

 private:
  using PlainStream = boost::beast::tcp_stream;
  using TlsStream = boost::beast::ssl_stream<boost::beast::tcp_stream>;

  boost::beast::tcp_stream& tcp();
  void onHandshake(boost::beast::error_code error);
  // The first thing after the handshake: a refusal, or the first request.
  void begin();
  void readRequest();
  // A client that asked to be told before sending its body is told so.
  void onHeader(boost::beast::error_code error, std::size_t bytes);
  void readBody();
  void onRead(boost::beast::error_code error, std::size_t bytes);
  // Answers the request just read.
  void answer();
  // Who sent the request: the peer, or the client a trusted proxy names.
  std::string clientOf(
      const boost::beast::http::request<boost::beast::http::string_body>& request) const;
  // Answers a request the access control refused, or goes on to respond().
  void onVerdict(const AccessControl::Verdict& verdict);
  // Hands the admitted request to the handler and sends its reply; with a
  // user list, who signed in.
  void respond(std::optional<std::string> signedInAs = std::nullopt);
  // Runs a step of answering, turning any failure into a 500.
  template <typename Work>
  void guarded(Work&& work);
  void refuse(boost::beast::http::status status, const std::string& message);
  // Following changes: the reply stays open and carries the feed's events
  // as they come. A client that does not read them is dropped, never
  // buffered for without bound.
  void streamChanges();
  void queueChange(const ChangeFeed::Text& text);
  void writeNextChange();
  void keepStreamAlive();
  void endStream();
  void logRequest(std::string_view method, std::string_view target, const ApiReply& reply,
                  std::size_t bytes) const;
  void send(const std::shared_ptr<Response>& response, bool keepAlive);
  void onWrite(bool keepAlive, boost::beast::error_code error, std::size_t bytes);
  // Stops sending, then reads what the client still sends for a moment, so
  // that it sees the reply instead of a reset connection.
  void lingerAndClose();
  void onDrain(boost::beast::error_code error, std::size_t bytes);

  std::shared_ptr<boost::asio::ssl::context> tls_;  // before the stream that uses it
  std::variant<PlainStream, TlsStream> stream_;
  std::optional<Refusal> refusal_;
  boost::beast::flat_buffer buffer_;
  std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
  std::string client_;
  boost::beast::http::request<boost::beast::http::string_body> request_;  // under way
  std::string requestClient_;  // of the request under way
  SessionContext& context_;
  std::chrono::steady_clock::time_point started_;
  bool busy_ = false;
  std::array<char, 4096> drainBuffer_{};
  // While following changes.
  static constexpr std::size_t kUnsentLimit = std::size_t{256} * 1024;
  bool streaming_ = false;
  std::unique_ptr<ChangeFeed::Subscription> subscription_;
  std::deque<ChangeFeed::Text> unsent_;
  std::size_t unsentBytes_ = 0;
  bool writingChange_ = false;
  bool headWritten_ = false;
  std::string chunkHead_;  // of the chunk being written
  std::unique_ptr<boost::asio::steady_timer> keepAliveTimer_;
};

}  // namespace vantory::service
