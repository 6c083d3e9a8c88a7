#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A throwaway certificate authority made with the openssl command, and
// server certificates it signs for 127.0.0.1 and localhost.
class TestCertificates {
 public:
  struct Pair {
    std::filesystem::path certificate;
    std::filesystem::path key;
  };

  // Makes the authority in the directory (which must exist).
  explicit TestCertificates(std::filesystem::path directory);

  bool ok() const { return ok_; }
  const std::filesystem::path& authority() const { return authorityCertificate_; }
  // A new server certificate signed by the authority, named `name`.
  Pair issue(const std::string& name);
  // The serial number of the certificate in the file, as openssl prints it.
  static std::string serialOf(const std::filesystem::path& certificate);
  // The serial of the certificate a TLS server on the port presents.
  static std::string servedSerial(int port);

 private:
  std::filesystem::path directory_;
  std::filesystem::path authorityCertificate_;
  std::filesystem::path authorityKey_;
  bool ok_ = false;
};

}  // namespace testsupport
