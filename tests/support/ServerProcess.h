#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A vantory-server child process on a free loopback port.
class ServerProcess {
 public:
  explicit ServerProcess(std::filesystem::path database,
                         std::vector<std::string> extraArguments = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts it and waits for its ready line; false if it did not come up.
  bool start();
  // SIGTERM and wait; returns the exit status (or -1).
  int stop();
  // SIGKILL: the process dies at once, as in a crash.
  void kill();

  int port() const { return port_; }
  std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  const std::string& readyLine() const { return readyLine_; }

 private:
  std::filesystem::path database_;
  std::vector<std::string> extraArguments_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string readyLine_;
};

// The path of the built vantory-server.
std::filesystem::path serverBinary();

}  // namespace testsupport
