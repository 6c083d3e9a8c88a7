#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <boost/asio/ssl/context.hpp>

namespace vantory::service {

// The certificate and key HTTPS connections are served with. A reload reads
// the files again; connections made from then on use the new pair, those
// already open keep theirs, so a renewal needs no restart.
class TlsCertificates {
 public:
  // Reads the pair; throws with a clear message when it cannot be used.
  TlsCertificates(std::string certificateFile, std::string keyFile);

  // The context for a new connection.
  std::shared_ptr<boost::asio::ssl::context> current() const;
  // Reads the files again. On failure the pair in use stays and the reason
  // is thrown.
  void reload();

 private:
  std::shared_ptr<boost::asio::ssl::context> load() const;

  std::string certificateFile_;
  std::string keyFile_;
  mutable std::mutex mutex_;
  std::shared_ptr<boost::asio::ssl::context> current_;
};

}  // namespace vantory::service
