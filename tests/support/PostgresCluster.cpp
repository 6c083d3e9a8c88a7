#include "PostgresCluster.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "support/RecordingHttpServer.h"
#include "support/ShellCommand.h"

namespace testsupport {

namespace {

const std::string kScript = std::string(VANTORY_SOURCE_DIR) + "/deploy/throwaway-postgres";

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// psql runs as the cluster's owner when the tests run as root, as the
// cluster itself does.
CommandResult psql(const std::string& url, const std::string& statement) {
  const std::string as = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
  return runCommand(as + "psql -X -q -tA -v ON_ERROR_STOP=1 " + shellQuoted(url) + " -c " +
                    shellQuoted(statement));
}

// The shared cluster's URL, when the run started one: shared-postgres writes
// it to a file in the folder VANTORY_TEST_POSTGRES names.
std::optional<std::string> sharedServerUrl() {
  const char* folder = std::getenv("VANTORY_TEST_POSTGRES");
  if (folder == nullptr || *folder == '\0') {
    return std::nullopt;
  }
  std::ifstream file(std::filesystem::path(folder) / "url");
  std::string url;
  if (!std::getline(file, url) || url.empty()) {
    return std::nullopt;
  }
  return url;
}

// Tells apart the databases and folders of one test process.
std::string nextName() {
  static std::atomic<int> made{0};
  return std::to_string(::getpid()) + "_" + std::to_string(++made);
}

}  // namespace

PostgresCluster::PostgresCluster(Server server) {
  if (server == Server::sharedWhenOffered) {
    if (const auto shared = sharedServerUrl(); shared && createSharedDatabase(*shared)) {
      return;
    }
  }
  folder_ = std::filesystem::temp_directory_path() / ("vantory-pg-" + nextName());
  port_ = unusedLoopbackPort();
  std::filesystem::remove_all(folder_);
  if (!start()) {
    std::filesystem::remove_all(folder_);
  }
}

PostgresCluster::~PostgresCluster() {
  if (!database_.empty()) {
    psql(sharedServerUrl_, "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  } else if (!unavailable_) {
    runCommand(kScript + " destroy " + folder_.string());
  }
}

bool PostgresCluster::createSharedDatabase(const std::string& serverUrl) {
  const std::string name = "vantory_" + nextName();
  if (psql(serverUrl, "CREATE DATABASE " + name).status != 0) {
    return false;
  }
  sharedServerUrl_ = serverUrl;
  database_ = name;
  url_ = serverUrl.substr(0, serverUrl.rfind('/') + 1) + name;
  return true;
}

bool PostgresCluster::start() {
  if (!database_.empty()) {
    return false;
  }
  auto [status, output] =
      runCommand(kScript + " start " + folder_.string() + " " + std::to_string(port_) + " fast");
  if (status != 0) {
    unavailable_ = status == 3 ? "PostgreSQL's server programs are not installed"
                               : "the throwaway cluster did not start: " + output;
    return false;
  }
  output = trimmed(output);
  url_ = output.substr(output.rfind('\n') + 1);
  unavailable_.reset();
  return true;
}

bool PostgresCluster::stop() {
  return database_.empty() && runCommand(kScript + " stop " + folder_.string()).status == 0;
}

std::string PostgresCluster::sql(const std::string& statement) const {
  return psql(url_, statement).output;
}

}  // namespace testsupport
