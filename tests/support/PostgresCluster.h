#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// A PostgreSQL database for one test. Under CTest the postgres-labelled tests
// share one cluster that the run starts once (tests/support/shared-postgres,
// named by VANTORY_TEST_POSTGRES), and each gets a fresh database in it,
// dropped with the object; otherwise, and for a test that stops the server,
// it is a throwaway cluster of its own on a free loopback port in a temporary
// folder (deploy/throwaway-postgres), removed with the object.
class PostgresCluster {
 public:
  enum class Server { sharedWhenOffered, ownToStopAndStart };

  explicit PostgresCluster(Server server = Server::sharedWhenOffered);
  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  // Why there is no database (the server programs are not installed, say);
  // nothing when there is one.
  const std::optional<std::string>& unavailable() const { return unavailable_; }
  const std::string& url() const { return url_; }

  // Stops and starts it again on the same port, as an outage would; only an
  // own server.
  bool stop();
  bool start();
  // Runs SQL on the database with psql; its output.
  std::string sql(const std::string& statement) const;

 private:
  bool createSharedDatabase(const std::string& serverUrl);

  std::filesystem::path folder_;
  int port_ = 0;
  std::string url_;
  std::string sharedServerUrl_;  // the shared cluster's "postgres" database
  std::string database_;         // this test's database in the shared cluster
  std::optional<std::string> unavailable_;
};

}  // namespace testsupport
