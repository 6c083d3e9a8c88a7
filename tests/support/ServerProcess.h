#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A vantory-server child process on a free loopback port. What it writes to
// standard error (its log) is kept in a file the test can read.
class ServerProcess {
 public:
  explicit ServerProcess(std::filesystem::path database,
                         std::vector<std::string> extraArguments = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Before start: the host of --listen ("127.0.0.1" unless changed), and a
  // lower limit of open descriptors for the process.
  void setListenHost(std::string host) { listenHost_ = std::move(host); }
  // The port of --listen (0: any free one), such as the last one, for a restart.
  void setListenPort(int port) { listenPort_ = port; }
  void setDescriptorLimit(int limit) { descriptorLimit_ = limit; }
  void setLogLevel(std::string level) { logLevel_ = std::move(level); }
  void setEnvironment(std::string name, std::string value) {
    environment_.emplace_back(std::move(name), std::move(value));
  }

  // Starts it and waits for its ready line; false if it did not come up
  // (then exitStatus() and log() tell why).
  bool start();
  // SIGTERM and wait; returns the exit status (or -1).
  int stop();
  // SIGKILL: the process dies at once, as in a crash.
  void kill();

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // "https://..." when the server serves HTTPS.
  std::string baseUrl() const;
  const std::string& readyLine() const { return readyLine_; }
  // The exit status of a server that ended by itself during start().
  std::optional<int> exitStatus() const { return exitStatus_; }
  // Everything written to standard error so far.
  std::string log() const;
  // CPU time (user and system) the process has used so far.
  std::chrono::milliseconds cpuTime() const;

 private:
  std::filesystem::path database_;
  std::vector<std::string> extraArguments_;
  std::string listenHost_ = "127.0.0.1";
  std::string logLevel_ = "warn";
  std::optional<int> descriptorLimit_;
  std::vector<std::pair<std::string, std::string>> environment_;
  std::filesystem::path logFile_;
  pid_t pid_ = -1;
  int port_ = 0;
  int listenPort_ = 0;
  std::string readyLine_;
  std::optional<int> exitStatus_;
};

// The path of the built vantory-server.
std::filesystem::path serverBinary();

}  // namespace testsupport
