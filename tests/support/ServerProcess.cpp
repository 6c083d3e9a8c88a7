#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace testsupport {

std::filesystem::path serverBinary() { return VANTORY_SERVER_BINARY; }

ServerProcess::ServerProcess(std::filesystem::path database,
                             std::vector<std::string> extraArguments)
    : database_(std::move(database)), extraArguments_(std::move(extraArguments)) {
  static int counter = 0;
  logFile_ =
      std::filesystem::temp_directory_path() /
      ("vantory-server-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".log");
}

ServerProcess::~ServerProcess() {
  stop();
  std::filesystem::remove(logFile_);
}

bool ServerProcess::start() {
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) {
    return false;
  }
  std::vector<std::string> arguments = {serverBinary().string(),
                                        "--listen",
                                        listenHost_ + ":" + std::to_string(listenPort_),
                                        "--database",
                                        database_.string(),
                                        "--log-level",
                                        logLevel_};
  arguments.insert(arguments.end(), extraArguments_.begin(), extraArguments_.end());
  const int logFd = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  exitStatus_.reset();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a test that crashed
    ::dup2(output[1], STDOUT_FILENO);
    ::dup2(logFd, STDERR_FILENO);
    if (descriptorLimit_) {
      const rlimit limit{static_cast<rlim_t>(*descriptorLimit_),
                         static_cast<rlim_t>(*descriptorLimit_)};
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    for (const auto& [name, value] : environment_) {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(logFd);
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
  if (!std::regex_search(readyLine_, match, std::regex(R"(ready on \S+:(\d+) )"))) {
    // A server that gave up has closed its output and is ending.
    int status = 0;
    for (int waited = 0; waited < 100; ++waited) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill();
    return false;
  }
  port_ = std::stoi(match[1]);
  return true;
}

std::string ServerProcess::baseUrl() const {
  const bool secure = readyLine_.find("https://") != std::string::npos;
  return (secure ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
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

std::string ServerProcess::log() const {
  std::ifstream file(logFile_);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::chrono::milliseconds ServerProcess::cpuTime() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string line;
  std::getline(stat, line);
  // Fields after the command name (which may hold spaces) start after ")".
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14 || index == 15) {  // utime, stime
      ticks += std::stol(field);
    }
  }
  return std::chrono::milliseconds(ticks * 1000 / ::sysconf(_SC_CLK_TCK));
}

}  // namespace testsupport
