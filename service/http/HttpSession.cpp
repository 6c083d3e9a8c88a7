#include "HttpSession.h"

#include <boost/asio/dispatch.hpp>

namespace vantory::service {

namespace beast = boost::beast;
namespace http = boost::beast::http;

std::shared_ptr<Response> makeResponse(const ApiReply& reply, unsigned version, bool keepAlive) {
  auto response = std::make_shared<Response>();
  response->payload = reply.serialized
                          ? reply.serialized
                          : std::make_shared<const std::string>(reply.serializedBody());
  auto& message = response->message;
  message.result(static_cast<http::status>(reply.status));
  message.version(version);
  message.set(http::field::server, "vantory-server");
  message.set(http::field::content_type, "application/json");
  if (!reply.allow.empty()) {
    message.set(http::field::allow, reply.allow);
  }
  if (reply.status == 503) {
    message.set(http::field::retry_after, "1");
  }
  message.body() = {response->payload->data(), response->payload->size()};
  message.keep_alive(keepAlive);
  message.prepare_payload();
  return response;
}

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, std::string client,
                         SessionContext& context)
    : stream_(std::move(socket)), client_(std::move(client)), context_(context) {}

HttpSession::~HttpSession() { context_.closed(this); }

void HttpSession::start() {
  context_.opened(shared_from_this());
  boost::asio::dispatch(stream_.get_executor(),
                        beast::bind_front_handler(&HttpSession::readRequest, shared_from_this()));
}

void HttpSession::closeIfIdle() {
  boost::asio::dispatch(stream_.get_executor(), [self = shared_from_this()] {
    if (!self->busy_ && !(self->parser_ && self->parser_->got_some())) {
      beast::error_code ignored;
      self->stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
      self->stream_.close();
    }
  });
}

void HttpSession::closeNow() {
  boost::asio::dispatch(stream_.get_executor(),
                        [self = shared_from_this()] { self->stream_.close(); });
}

void HttpSession::readRequest() {
  if (context_.stopping) {
    stream_.close();
    return;
  }
  parser_.emplace();
  parser_->header_limit(kHeaderLimit);
  parser_->body_limit(kBodyLimit);
  stream_.expires_after(context_.timeout);
  http::async_read(stream_, buffer_, *parser_,
                   beast::bind_front_handler(&HttpSession::onRead, shared_from_this()));
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
      error == boost::asio::error::bad_descriptor) {
    stream_.close();
    return;
  }
  if (error) {
    if (parser_ && parser_->got_some()) {
      refuse(http::status::bad_request, "The request is not valid HTTP.");
    } else {
      stream_.close();
    }
    return;
  }

  busy_ = true;
  // The last-resort catch of this connection: nothing a client sends may
  // end the service.
  try {
    answer();
  } catch (const std::exception& error) {
    context_.log.message(LogLevel::error, std::string("a request failed: ") + error.what());
    refuse(http::status::internal_server_error,
           "The service could not complete the request; try again shortly.");
  }
}

void HttpSession::answer() {
  http::request<http::string_body> request = parser_->release();
  const ApiRequest apiRequest{std::string(request.method_string()), std::string(request.target()),
                              std::move(request.body())};
  const ApiReply reply = context_.handler.handle(apiRequest);
  const bool keepAlive = request.keep_alive() && !context_.stopping;
  auto response = makeResponse(reply, request.version(), keepAlive);
  logRequest(apiRequest.method, apiRequest.target, reply, response->payload->size());
  send(response, keepAlive);
}

void HttpSession::refuse(http::status status, const std::string& message) {
  busy_ = true;
  const ApiReply reply = ApiReply::error(static_cast<int>(status), message);
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

void HttpSession::logRequest(std::string_view method, std::string_view target,
                             const ApiReply& reply, std::size_t bytes) const {
  const auto elapsed = std::chrono::steady_clock::now() - started_;
  context_.log.request({client_, method, target, reply.status, bytes,
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed),
                        reply.cause});
  if (reply.status >= 500) {
    // The cause is never sent; it is what the operator needs.
    context_.log.message(LogLevel::error, "a request from " + client_ + " failed with " +
                                              std::to_string(reply.status) + ": " + reply.cause);
  }
}

void HttpSession::send(const std::shared_ptr<Response>& response, bool keepAlive) {
  stream_.expires_after(context_.timeout);
  http::async_write(
      stream_, response->message,
      [self = shared_from_this(), response, keepAlive](beast::error_code error, std::size_t bytes) {
        self->onWrite(keepAlive, error, bytes);
      });
}

void HttpSession::onWrite(bool keepAlive, beast::error_code error, std::size_t /*bytes*/) {
  busy_ = false;
  if (error) {
    stream_.close();
    return;
  }
  if (!keepAlive) {
    lingerAndClose();
    return;
  }
  readRequest();
}

void HttpSession::lingerAndClose() {
  beast::error_code ignored;
  stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
  stream_.expires_after(std::chrono::seconds(2));
  stream_.async_read_some(boost::asio::buffer(drainBuffer_),
                          beast::bind_front_handler(&HttpSession::onDrain, shared_from_this()));
}

void HttpSession::onDrain(beast::error_code error, std::size_t /*bytes*/) {
  if (error) {
    stream_.close();  // the client closed, or the moment passed
    return;
  }
  stream_.async_read_some(boost::asio::buffer(drainBuffer_),
                          beast::bind_front_handler(&HttpSession::onDrain, shared_from_this()));
}

}  // namespace vantory::service
