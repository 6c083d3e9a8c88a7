#include "TestCertificates.h"

#include <fstream>

#include "support/ShellCommand.h"

namespace testsupport {

namespace {

bool run(const std::string& command) { return runCommand(command).status == 0; }

// What the command wrote, without its last line break.
std::string output(const std::string& command) {
  std::string text = runCommand(command).output;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

std::string quoted(const std::filesystem::path& path) { return shellQuoted(path); }

}  // namespace

TestCertificates::TestCertificates(std::filesystem::path directory)
    : directory_(std::move(directory)),
      authorityCertificate_(directory_ / "authority.pem"),
      authorityKey_(directory_ / "authority.key") {
  ok_ =
      run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 "
          "-subj '/CN=Vantory Test Authority' -keyout " +
          quoted(authorityKey_) + " -out " + quoted(authorityCertificate_));
}

TestCertificates::Pair TestCertificates::issue(const std::string& name) {
  Pair pair{directory_ / (name + ".pem"), directory_ / (name + ".key")};
  const auto request = directory_ / (name + ".csr");
  const auto extensions = directory_ / (name + ".ext");
  std::ofstream(extensions) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                               "extendedKeyUsage=serverAuth\n";
  const bool made =
      run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj '/CN=127.0.0.1' "
          "-keyout " +
          quoted(pair.key) + " -out " + quoted(request)) &&
      run("openssl x509 -req -in " + quoted(request) + " -CA " + quoted(authorityCertificate_) +
          " -CAkey " + quoted(authorityKey_) + " -CAcreateserial -days 2 -extfile " +
          quoted(extensions) + " -out " + quoted(pair.certificate));
  if (!made) {
    ok_ = false;
  }
  return pair;
}

std::string TestCertificates::serialOf(const std::filesystem::path& certificate) {
  return output("openssl x509 -noout -serial -in " + quoted(certificate));
}

std::string TestCertificates::servedSerial(int port) {
  return output("openssl s_client -connect 127.0.0.1:" + std::to_string(port) +
                " </dev/null 2>/dev/null | openssl x509 -noout -serial 2>/dev/null");
}

}  // namespace testsupport
