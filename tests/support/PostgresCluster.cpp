#include "PostgresCluster.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "support/RecordingHttpServer.h"

namespace testsupport {

namespace {

const std::string kScript = std::string(VANTORY_SOURCE_DIR) + "/deploy/throwaway-postgres";

// Output and exit status of a command.
std::pair<std::string, int> run(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  std::string output;
  char buffer[512];
  while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

PostgresCluster::PostgresCluster()
    : folder_(std::filesystem::temp_directory_path() /
              ("vantory-pg-" + std::to_string(::getpid()))),
      port_(unusedLoopbackPort()) {
  std::filesystem::remove_all(folder_);
  if (!start()) {
    std::filesystem::remove_all(folder_);
  }
}

PostgresCluster::~PostgresCluster() {
  if (!unavailable_) {
    run(kScript + " destroy " + folder_.string());
  }
}

bool PostgresCluster::start() {
  auto [output, status] =
      run(kScript + " start " + folder_.string() + " " + std::to_string(port_) + " fast");
  if (status != 0) {
    unavailable_ = status == 3 ? "PostgreSQL's server programs are not installed"
                               : "the throwaway cluster did not start: " + output;
    return false;
  }
  while (!output.empty() && output.back() == '\n') {
    output.pop_back();
  }
  url_ = output.substr(output.rfind('\n') + 1);
  unavailable_.reset();
  return true;
}

bool PostgresCluster::stop() { return run(kScript + " stop " + folder_.string()).second == 0; }

std::string PostgresCluster::sql(const std::string& statement) const {
  std::string quoted;
  for (const char c : statement) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  const std::string as = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
  return run(as + "psql -X -q -tA " + url_ + " -c '" + quoted + "'").first;
}

}  // namespace testsupport
