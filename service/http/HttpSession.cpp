#include "HttpSession.h"

#include <algorithm>
#include <charconv>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/write.hpp>

namespace vantory::service {

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace ssl = boost::asio::ssl;

namespace {

std::variant<beast::tcp_stream, beast::ssl_stream<beast::tcp_stream>> makeStream(
    boost::asio::ip::tcp::socket socket, const std::shared_ptr<ssl::context>& tls) {
  if (tls) {
    return std::variant<beast::tcp_stream, beast::ssl_stream<beast::tcp_stream>>(
        std::in_place_index<1>, std::move(socket), *tls);
  }
  return std::variant<beast::tcp_stream, beast::ssl_stream<beast::tcp_stream>>(
      std::in_place_index<0>, std::move(socket));
}

}  // namespace

std::shared_ptr<Response> makeResponse(const ApiReply& reply, unsigned version, bool keepAlive) {
  auto response = std::make_shared<Response>();
  response->payload = reply.serialized
                          ? reply.serialized
                          : std::make_shared<const std::string>(reply.serializedBody());
  auto& message = response->message;
  message.result(static_cast<http::status>(reply.status));
  message.version(version);
  message.set(http::field::server, "vantory-server");
  message.set(http::field::content_type, reply.contentType);
  for (const auto& [name, value] : reply.headers) {
    message.set(name, value);
  }
  if (!reply.allow.empty()) {
    message.set(http::field::allow, reply.allow);
  }
  if (!reply.wwwAuthenticate.empty()) {
    message.set(http::field::www_authenticate, reply.wwwAuthenticate);
  }
  if (reply.retryAfterSeconds > 0) {
    message.set(http::field::retry_after, std::to_string(reply.retryAfterSeconds));
  } else if (reply.status == 503) {
    message.set(http::field::retry_after, "1");
  }
  message.body() = {response->payload->data(), response->payload->size()};
  message.keep_alive(keepAlive);
  message.prepare_payload();
  return response;
}

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, std::string client,
                         SessionContext& context, std::shared_ptr<ssl::context> tls,
                         std::optional<Refusal> refusal)
    : tls_(std::move(tls)),
      stream_(makeStream(std::move(socket), tls_)),
      refusal_(std::move(refusal)),
      client_(std::move(client)),
      requestClient_(client_),
      context_(context) {}

HttpSession::~HttpSession() {
  if (!refusal_) {
    context_.closed(this);
  }
}

beast::tcp_stream& HttpSession::tcp() {
  return std::visit(
      [](auto& stream) -> beast::tcp_stream& { return beast::get_lowest_layer(stream); }, stream_);
}

void HttpSession::start() {
  // A refused connection is not one of the open ones the caps count.
  if (!refusal_) {
    context_.opened(shared_from_this());
  }
  boost::asio::dispatch(tcp().get_executor(), [self = shared_from_this()] {
    if (auto* secure = std::get_if<TlsStream>(&self->stream_)) {
      self->tcp().expires_after(self->context_.timeout);
      secure->async_handshake(ssl::stream_base::server,
                              beast::bind_front_handler(&HttpSession::onHandshake, self));
    } else {
      self->begin();
    }
  });
}

void HttpSession::onHandshake(beast::error_code error) {
  if (error) {
    // Plain HTTP sent to the HTTPS port, an untrusted client, a scan: there
    // is nobody to answer in a way they would understand.
    context_.log.message(LogLevel::debug,
                         "a TLS handshake with " + client_ + " failed: " + error.message());
    tcp().close();
    return;
  }
  begin();
}

void HttpSession::begin() {
  if (refusal_) {
    refuse(static_cast<http::status>(refusal_->status), refusal_->message);
    return;
  }
  readRequest();
}

void HttpSession::closeIfIdle() {
  boost::asio::dispatch(tcp().get_executor(), [self = shared_from_this()] {
    if (self->streaming_) {
      self->endStream();
      return;
    }
    if (!self->busy_ && !(self->parser_ && self->parser_->got_some())) {
      beast::error_code ignored;
      self->tcp().socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
      self->tcp().close();
    }
  });
}

void HttpSession::closeNow() {
  boost::asio::dispatch(tcp().get_executor(), [self = shared_from_this()] { self->tcp().close(); });
}

void HttpSession::readRequest() {
  if (context_.stopping) {
    tcp().close();
    return;
  }
  requestClient_ = client_;
  parser_.emplace();
  parser_->header_limit(kHeaderLimit);
  parser_->body_limit(kBodyLimit);
  tcp().expires_after(context_.timeout);
  std::visit(
      [this](auto& stream) {
        http::async_read_header(
            stream, buffer_, *parser_,
            beast::bind_front_handler(&HttpSession::onHeader, shared_from_this()));
      },
      stream_);
}

void HttpSession::onHeader(beast::error_code error, std::size_t bytes) {
  if (error || parser_->is_done()) {
    onRead(error, bytes);
    return;
  }
  const auto& head = parser_->get();
  if (head.version() < 11 || !beast::iequals(head[http::field::expect], "100-continue")) {
    readBody();
    return;
  }
  // Without this interim reply such a client waits a second or so before
  // sending its body anyway.
  static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
  std::visit(
      [this](auto& stream) {
        boost::asio::async_write(
            stream, boost::asio::buffer(kContinue.data(), kContinue.size()),
            [self = shared_from_this()](beast::error_code written, std::size_t sent) {
              if (written) {
                self->onRead(written, sent);
                return;
              }
              self->readBody();
            });
      },
      stream_);
}

void HttpSession::readBody() {
  std::visit(
      [this](auto& stream) {
        http::async_read(stream, buffer_, *parser_,
                         beast::bind_front_handler(&HttpSession::onRead, shared_from_this()));
      },
      stream_);
}

void HttpSession::onRead(beast::error_code error, std::size_t /*bytes*/) {
  started_ = std::chrono::steady_clock::now();
  if (error == http::error::body_limit) {
    refuse(http::status::payload_too_large,
           "The request body is larger than 64 KiB; send less text.");
    return;
  }
  if (error == http::error::header_limit) {
    refuse(http::status::request_header_fields_too_large,
           "The request headers are larger than 8 KiB.");
    return;
  }
  if (error == http::error::end_of_stream || error == beast::error::timeout ||
      error == boost::asio::error::operation_aborted || error == boost::asio::error::eof ||
      error == boost::asio::error::connection_reset ||
      error == boost::asio::error::bad_descriptor || error == ssl::error::stream_truncated) {
    tcp().close();
    return;
  }
  if (error) {
    if (parser_ && parser_->got_some()) {
      refuse(http::status::bad_request, "The request is not valid HTTP.");
    } else {
      tcp().close();
    }
    return;
  }

  busy_ = true;
  guarded([this] { answer(); });
}

template <typename Work>
void HttpSession::guarded(Work&& work) {
  // The last-resort catch of this connection: nothing a client sends may
  // end the service.
  try {
    work();
  } catch (const std::exception& error) {
    context_.log.message(LogLevel::error, std::string("a request failed: ") + error.what());
    refuse(http::status::internal_server_error,
           "The service could not complete the request; try again shortly.");
  }
}

std::string HttpSession::clientOf(const http::request<http::string_body>& request) const {
  const auto* trusted = context_.trustedProxies;
  if (trusted == nullptr ||
      std::find(trusted->begin(), trusted->end(), client_) == trusted->end()) {
    return client_;
  }
  // The proxy adds its own line last, after any the client sent itself; of
  // that line the last entry is the one the proxy saw.
  std::string_view forwarded;
  const auto [first, last] = request.equal_range("X-Forwarded-For");
  for (auto field = first; field != last; ++field) {
    forwarded = field->value();
  }
  if (const auto comma = forwarded.rfind(','); comma != std::string_view::npos) {
    forwarded.remove_prefix(comma + 1);
  }
  boost::system::error_code invalid;
  const auto address = boost::asio::ip::make_address(
      boost::algorithm::trim_copy_if(std::string(forwarded), boost::algorithm::is_any_of(" \t")),
      invalid);
  return invalid ? client_ : address.to_string();
}

void HttpSession::answer() {
  request_ = parser_->release();
  requestClient_ = clientOf(request_);
  if (context_.access == nullptr) {
    respond();
    return;
  }
  // The verdict may come from a hashing thread: it goes on on this
  // connection's own executor, which is kept running until it does.
  auto executor = tcp().get_executor();
  context_.access->check(
      requestClient_, std::string_view(request_[http::field::authorization]),
      [self = shared_from_this(),
       work = boost::asio::make_work_guard(executor)](AccessControl::Verdict verdict) mutable {
        auto onExecutor = work.get_executor();
        boost::asio::dispatch(onExecutor, [self, verdict = std::move(verdict)]() mutable {
          self->guarded([&] { self->onVerdict(verdict); });
        });
        work.reset();
      });
}

void HttpSession::onVerdict(const AccessControl::Verdict& verdict) {
  if (verdict.allowed) {
    respond(verdict.user);
    return;
  }
  ApiReply reply = ApiReply::error(verdict.status, verdict.message);
  if (verdict.status == 401) {
    reply.wwwAuthenticate = R"(Basic realm="Vantory", charset="UTF-8")";
  }
  reply.retryAfterSeconds = static_cast<int>(verdict.retryAfter.count());
  const bool keepAlive = request_.keep_alive() && !context_.stopping;
  auto response = makeResponse(reply, request_.version(), keepAlive);
  logRequest(request_.method_string(), request_.target(), reply, response->payload->size());
  send(response, keepAlive);
}

void HttpSession::respond(std::optional<std::string> signedInAs) {
  const ApiRequest apiRequest{std::string(request_.method_string()), std::string(request_.target()),
                              std::move(request_.body()), std::string(request_["Idempotency-Key"]),
                              std::move(signedInAs)};
  // The API keeps its paths; every other path is the web app's, when served.
  const bool api = apiRequest.target.rfind(RequestHandler::kPathPrefix, 0) == 0;
  const std::string_view path =
      std::string_view(apiRequest.target).substr(0, apiRequest.target.find('?'));
  if (context_.changes != nullptr && path == RequestHandler::kEventsPath) {
    if (request_.method() == http::verb::get) {
      streamChanges();
      return;
    }
    ApiReply reply = ApiReply::error(405, std::string(path) + " takes GET requests only.");
    reply.allow = "GET";
    auto response = makeResponse(reply, request_.version(), false);
    logRequest(apiRequest.method, apiRequest.target, reply, response->payload->size());
    send(response, false);
    return;
  }
  const ApiReply reply = context_.web != nullptr && !api
                             ? context_.web->answer(apiRequest.method, apiRequest.target,
                                                    request_[http::field::accept_encoding])
                             : context_.handler.handle(apiRequest);
  if (context_.changes != nullptr && api && reply.status == 200 && apiRequest.method == "POST") {
    context_.changes->nudge();  // followers hear of it now, not at the next look
  }
  const bool keepAlive = request_.keep_alive() && !context_.stopping;
  auto response = makeResponse(reply, request_.version(), keepAlive);
  logRequest(apiRequest.method, apiRequest.target, reply, response->payload->size());
  send(response, keepAlive);
}

void HttpSession::refuse(http::status status, const std::string& message) {
  busy_ = true;
  ApiReply reply = ApiReply::error(static_cast<int>(status), message);
  if (status == http::status::service_unavailable) {
    reply.retryAfterSeconds = 1;
  }
  auto response = makeResponse(reply, 11, false);
  std::string method = "-";
  std::string target = "-";
  if (parser_ && parser_->is_header_done()) {
    method = std::string(parser_->get().method_string());
    target = std::string(parser_->get().target());
  }
  logRequest(method, target, reply, response->payload->size());
  send(response, false);
}

void HttpSession::streamChanges() {
  auto executor = tcp().get_executor();
  auto joined =
      context_.changes->join(requestClient_, std::string_view(request_["Last-Event-ID"]),
                             [weak = weak_from_this(), executor](const ChangeFeed::Text& text) {
                               boost::asio::post(executor, [weak, text] {
                                 if (const auto self = weak.lock()) {
                                   self->queueChange(text);
                                 }
                               });
                             });
  if (joined.refusal != 0) {
    ApiReply reply = ApiReply::error(joined.refusal, joined.message);
    reply.retryAfterSeconds = 5;
    auto response = makeResponse(reply, request_.version(), false);
    logRequest(request_.method_string(), request_.target(), reply, response->payload->size());
    send(response, false);
    return;
  }
  subscription_ = std::move(joined.subscription);
  streaming_ = true;
  busy_ = false;
  ApiReply opened;
  logRequest(request_.method_string(), request_.target(), opened, joined.first.size());
  // Chunked, so that the stream's end is never taken for a complete reply.
  queueChange(std::make_shared<const std::string>(
      "HTTP/1.1 200 OK\r\nServer: vantory-server\r\n"
      "Content-Type: text/event-stream; charset=utf-8\r\nCache-Control: no-store\r\n"
      "X-Accel-Buffering: no\r\nTransfer-Encoding: chunked\r\n\r\n"));
  queueChange(std::make_shared<const std::string>(std::move(joined.first)));
  keepAliveTimer_ = std::make_unique<boost::asio::steady_timer>(executor);
  keepStreamAlive();
}

void HttpSession::queueChange(const ChangeFeed::Text& text) {
  // An empty chunk would end the stream for the client.
  if (!streaming_ || text->empty()) {
    return;
  }
  if (unsentBytes_ + text->size() > kUnsentLimit && !unsent_.empty()) {
    context_.log.message(
        LogLevel::info, "stopped sending changes to " + requestClient_ + ": it does not read them");
    endStream();
    return;
  }
  unsentBytes_ += text->size();
  unsent_.push_back(text);
  writeNextChange();
}

void HttpSession::writeNextChange() {
  if (writingChange_ || unsent_.empty() || !streaming_) {
    return;
  }
  writingChange_ = true;
  const ChangeFeed::Text text = unsent_.front();
  // The head goes out as it is; everything after it as one chunk each.
  const bool framed = headWritten_;
  headWritten_ = true;
  chunkHead_.clear();
  if (framed) {
    std::array<char, 20> digits{};
    const auto end =
        std::to_chars(digits.data(), digits.data() + digits.size(), text->size(), 16).ptr;
    chunkHead_.assign(digits.data(), end);
    chunkHead_ += "\r\n";
  }
  static constexpr std::string_view kChunkEnd = "\r\n";
  const std::array<boost::asio::const_buffer, 3> buffers{
      boost::asio::buffer(chunkHead_), boost::asio::buffer(*text),
      boost::asio::buffer(kChunkEnd.data(), framed ? kChunkEnd.size() : 0)};
  tcp().expires_after(context_.timeout);
  std::visit(
      [this, &buffers, &text](auto& stream) {
        boost::asio::async_write(
            stream, buffers,
            [self = shared_from_this(), text](beast::error_code error, std::size_t /*bytes*/) {
              self->writingChange_ = false;
              if (error || !self->streaming_) {
                self->endStream();
                return;
              }
              self->unsentBytes_ -= text->size();
              self->unsent_.pop_front();
              self->writeNextChange();
            });
      },
      stream_);
}

void HttpSession::keepStreamAlive() {
  keepAliveTimer_->expires_after(context_.keepAlive);
  keepAliveTimer_->async_wait([self = shared_from_this()](beast::error_code error) {
    if (error || !self->streaming_) {
      return;
    }
    static const auto comment = std::make_shared<const std::string>(ChangeFeed::kKeepAlive);
    self->queueChange(comment);
    self->keepStreamAlive();
  });
}

void HttpSession::endStream() {
  if (!streaming_) {
    return;
  }
  streaming_ = false;
  subscription_.reset();
  if (keepAliveTimer_) {
    keepAliveTimer_->cancel();
  }
  unsent_.clear();
  unsentBytes_ = 0;
  tcp().close();
}

void HttpSession::logRequest(std::string_view method, std::string_view target,
                             const ApiReply& reply, std::size_t bytes) const {
  const auto elapsed = refusal_ ? std::chrono::steady_clock::duration::zero()
                                : std::chrono::steady_clock::now() - started_;
  context_.log.request({requestClient_, method, target, reply.status, bytes,
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed),
                        reply.cause});
  if (reply.status >= 500 && !refusal_) {
    // The cause is never sent; it is what the operator needs.
    context_.log.message(LogLevel::error, "a request from " + requestClient_ + " failed with " +
                                              std::to_string(reply.status) + ": " + reply.cause);
  }
}

void HttpSession::send(const std::shared_ptr<Response>& response, bool keepAlive) {
  tcp().expires_after(context_.timeout);
  std::visit(
      [this, &response, keepAlive](auto& stream) {
        http::async_write(stream, response->message,
                          [self = shared_from_this(), response, keepAlive](beast::error_code error,
                                                                           std::size_t bytes) {
                            self->onWrite(keepAlive, error, bytes);
                          });
      },
      stream_);
}

void HttpSession::onWrite(bool keepAlive, beast::error_code error, std::size_t /*bytes*/) {
  busy_ = false;
  if (error) {
    tcp().close();
    return;
  }
  if (!keepAlive) {
    lingerAndClose();
    return;
  }
  readRequest();
}

void HttpSession::lingerAndClose() {
  tcp().expires_after(std::chrono::seconds(2));
  if (auto* secure = std::get_if<TlsStream>(&stream_)) {
    // TLS ends with its own close notice, which also tells the client the
    // reply was complete.
    secure->async_shutdown([self = shared_from_this()](beast::error_code) { self->tcp().close(); });
    return;
  }
  beast::error_code ignored;
  tcp().socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
  tcp().async_read_some(boost::asio::buffer(drainBuffer_),
                        beast::bind_front_handler(&HttpSession::onDrain, shared_from_this()));
}

void HttpSession::onDrain(beast::error_code error, std::size_t /*bytes*/) {
  if (error) {
    tcp().close();  // the client closed, or the moment passed
    return;
  }
  tcp().async_read_some(boost::asio::buffer(drainBuffer_),
                        beast::bind_front_handler(&HttpSession::onDrain, shared_from_this()));
}

}  // namespace vantory::service
