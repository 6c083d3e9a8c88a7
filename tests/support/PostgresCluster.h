#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// A throwaway PostgreSQL cluster on a free loopback port in a temporary
// folder (deploy/throwaway-postgres), removed with the object.
class PostgresCluster {
 public:
  PostgresCluster();
  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  // Why there is no cluster (the server programs are not installed, say);
  // nothing when it runs.
  const std::optional<std::string>& unavailable() const { return unavailable_; }
  const std::string& url() const { return url_; }

  // Stops and starts it again on the same port, as an outage would.
  bool stop();
  bool start();
  // Runs SQL on the database with psql; its output.
  std::string sql(const std::string& statement) const;

 private:
  std::filesystem::path folder_;
  int port_ = 0;
  std::string url_;
  std::optional<std::string> unavailable_;
};

}  // namespace testsupport
