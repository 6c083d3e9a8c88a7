#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

namespace testsupport {

std::filesystem::path serverBinary() { return VANTORY_SERVER_BINARY; }

ServerProcess::ServerProcess(std::filesystem::path database,
                             std::vector<std::string> extraArguments)
    : database_(std::move(database)), extraArguments_(std::move(extraArguments)) {}

ServerProcess::~ServerProcess() { stop(); }

bool ServerProcess::start() {
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) {
    return false;
  }
  std::vector<std::string> arguments = {
      serverBinary().string(), "--listen",    "127.0.0.1:0", "--database",
      database_.string(),      "--log-level", "warn"};
  arguments.insert(arguments.end(), extraArguments_.begin(), extraArguments_.end());
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a test that crashed
    ::dup2(output[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output[1]);
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (received.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd readable{output[0], POLLIN, 0};
    if (::poll(&readable, 1, 100) <= 0) {
      continue;
    }
    char buffer[256];
    const ssize_t n = ::read(output[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(output[0]);
  readyLine_ = received.substr(0, received.find('\n'));
  std::smatch match;
  if (!std::regex_search(readyLine_, match, std::regex(R"(127\.0\.0\.1:(\d+))"))) {
    kill();
    return false;
  }
  port_ = std::stoi(match[1]);
  return true;
}

int ServerProcess::stop() {
  if (pid_ <= 0) {
    return -1;
  }
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ServerProcess::kill() {
  if (pid_ <= 0) {
    return;
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace testsupport
