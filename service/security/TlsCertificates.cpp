#include "TlsCertificates.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vantory::service {

namespace ssl = boost::asio::ssl;

namespace {

// OpenSSL's reason for the last failure, without its error codes.
std::string openSslReason(const boost::system::error_code& error) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code != 0) {
    const char* reason = ERR_reason_error_string(code);
    if (reason != nullptr) {
      return reason;
    }
  }
  return error.message();
}

// The file's text; a file that cannot be read, or holds no PEM block, is
// refused in words an operator acts on, not OpenSSL's ("system lib", "PEM lib").
std::string readPem(const std::string& file, const std::string& what) {
  std::error_code ignored;
  if (std::filesystem::is_directory(file, ignored)) {
    throw std::runtime_error("cannot read the " + what + " " + file + ": " + std::strerror(EISDIR));
  }
  std::ifstream in(file, std::ios::binary);
  std::string text;
  if (in) {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!in || in.bad()) {
    throw std::runtime_error("cannot read the " + what + " " + file + ": " +
                             std::strerror(errno != 0 ? errno : EIO));
  }
  if (text.find("-----BEGIN ") == std::string::npos) {
    throw std::runtime_error("cannot use the " + what + " " + file +
                             ": it is not in PEM form (text starting with \"-----BEGIN\")");
  }
  return text;
}

}  // namespace

TlsCertificates::TlsCertificates(std::string certificateFile, std::string keyFile)
    : certificateFile_(std::move(certificateFile)),
      keyFile_(std::move(keyFile)),
      current_(load()) {}

std::shared_ptr<ssl::context> TlsCertificates::current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void TlsCertificates::reload() {
  auto fresh = load();
  std::lock_guard lock(mutex_);
  current_ = std::move(fresh);
}

std::shared_ptr<ssl::context> TlsCertificates::load() const {
  auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
  // TLS 1.2 and 1.3 only: older versions have known weaknesses.
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                       ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                       ssl::context::single_dh_use);
  SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_2_VERSION);
  SSL_CTX_set_session_cache_mode(context->native_handle(), SSL_SESS_CACHE_SERVER);

  const std::string certificate = readPem(certificateFile_, "certificate");
  const std::string key = readPem(keyFile_, "private key");
  boost::system::error_code error;
  context->use_certificate_chain(boost::asio::buffer(certificate), error);
  if (error) {
    throw std::runtime_error("cannot use the certificate " + certificateFile_ + ": " +
                             openSslReason(error));
  }
  context->use_private_key(boost::asio::buffer(key), ssl::context::pem, error);
  if (error) {
    throw std::runtime_error("cannot use the private key " + keyFile_ + ": " +
                             openSslReason(error));
  }
  if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
    ERR_clear_error();
    throw std::runtime_error("the private key " + keyFile_ +
                             " does not belong to the certificate " + certificateFile_);
  }
  return context;
}

}  // namespace vantory::service
