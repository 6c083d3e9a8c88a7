#include "PostgresCluster.h"

#include <unistd.h>

#include "support/RecordingHttpServer.h"
#include "support/ShellCommand.h"

namespace testsupport {

namespace {

const std::string kScript = std::string(VANTORY_SOURCE_DIR) + "/deploy/throwaway-postgres";

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
    runCommand(kScript + " destroy " + folder_.string());
  }
}

bool PostgresCluster::start() {
  auto [status, output] =
      runCommand(kScript + " start " + folder_.string() + " " + std::to_string(port_) + " fast");
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

bool PostgresCluster::stop() {
  return runCommand(kScript + " stop " + folder_.string()).status == 0;
}

std::string PostgresCluster::sql(const std::string& statement) const {
  const std::string as = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
  return runCommand(as + "psql -X -q -tA " + url_ + " -c " + shellQuoted(statement)).output;
}

}  // namespace testsupport
