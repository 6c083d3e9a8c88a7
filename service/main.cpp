// vantory-server: the one HTTP/JSON service a group's apps share.

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "api/RequestHandler.h"
#include "http/AccessLog.h"
#include "http/HttpServer.h"
#include "storage/PgConnection.h"
#include "storage/PostgresStorage.h"
#include "storage/SqliteStorage.h"

using namespace vantory::service;

namespace {

// "127.0.0.1:8080" or "[::1]:8080".
bool splitAddress(const std::string& text, std::string& host, unsigned short& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) {
    return false;
  }
  host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string digits = text.substr(colon + 1);
  if (host.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
      digits.size() > 5 || std::stoul(digits) > 65535) {
    return false;
  }
  port = static_cast<unsigned short>(std::stoul(digits));
  return true;
}

// Raises the descriptor limit to its hard maximum and gives the connection
// cap that leaves room for the database, the log and the rest.
std::size_t defaultMaxConnections() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return 1000;
  }
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1 << 20);
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
    }
  }
  const auto descriptors = static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
  const std::size_t reserve = std::min<std::size_t>(128, descriptors / 4);
  return std::clamp<std::size_t>(descriptors - reserve, 8, 16384);
}

bool isPostgresUrl(const std::string& text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{
      "vantory-server: the shared service of Vantory (stores, deals, interest, purchases)"};
  std::string listen = "127.0.0.1:8080";
  std::string database = "./vantory.db";
  // A request waiting for its write's group commit holds its thread, so there
  // are several per core: more writes then share one commit.
  int threads = static_cast<int>(std::max(16U, 8 * std::thread::hardware_concurrency()));
  std::string logLevel = "info";
  std::string logFormat = "text";
  std::size_t maxConnections = defaultMaxConnections();
  std::size_t maxConnectionsPerClient = std::max<std::size_t>(64, maxConnections / 8);
  std::string sync = "normal";
  int timeoutSeconds = 30;
  cli.add_option("--listen", listen,
                 "address or host name and port to serve on (port 0: any free port)")
      ->capture_default_str();
  std::string databaseUrl;
  int databaseWait = 30;
  cli.add_option("--database", database,
                 "SQLite file, created on first start; or a postgresql:// URI")
      ->capture_default_str();
  cli.add_option("--database-url", databaseUrl,
                 "PostgreSQL to use instead of a file: postgresql://USER@HOST:PORT/DBNAME")
      ->envname("VANTORY_DATABASE_URL");
  cli.add_option("--database-wait", databaseWait,
                 "seconds to wait at start for a PostgreSQL database that cannot be reached yet")
      ->check(CLI::Range(0, 3600))
      ->capture_default_str();
  cli.add_option("--threads", threads,
                 "threads serving requests (default: 8 per core, at least 16; requests waiting "
                 "for a commit hold theirs)")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cli.add_option("--log-level", logLevel, "error, warn, info (one line per request) or debug")
      ->check(CLI::IsMember({"error", "warn", "info", "debug"}))
      ->capture_default_str();
  cli.add_option("--log-format", logFormat,
                 "text: one line of fields per request; json: one JSON object per line")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  cli.add_option("--max-connections", maxConnections,
                 "connections open at once; more are answered 503 (default: from the "
                 "descriptor limit, which is raised to its maximum)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cli.add_option("--max-connections-per-client", maxConnectionsPerClient,
                 "connections open at once from one client address; more are answered 429")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cli.add_option("--sync", sync,
                 "normal: acknowledged writes survive a crash of the server; "
                 "full: they also survive a power loss (slower)")
      ->check(CLI::IsMember({"normal", "full"}))
      ->capture_default_str();
  cli.add_option("--timeout", timeoutSeconds,
                 "seconds a connection may stay idle or take to send a request")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  CLI11_PARSE(cli, argc, argv);

  HttpServerOptions options;
  if (!splitAddress(listen, options.host, options.port)) {
    std::cerr << "vantory-server: --listen takes HOST:PORT, such as 127.0.0.1:8080 or "
                 "localhost:8080\n";
    return 2;
  }
  options.threads = threads;
  options.timeout = std::chrono::seconds(timeoutSeconds);
  options.maxConnections = maxConnections;
  options.maxConnectionsPerClient = maxConnectionsPerClient;
  LogLevel level = LogLevel::info;
  AccessLog::parseLevel(logLevel, level);
  const AccessLog log(level, logFormat == "json" ? LogFormat::json : LogFormat::text);

  // Signals are taken by one thread of ours; every other thread blocks them.
  // SIGUSR1 only releases that thread when the server ends by itself.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    if (databaseUrl.empty() && isPostgresUrl(database)) {
      databaseUrl = database;
    }
    std::unique_ptr<Storage> storage;
    std::string where;
    if (!databaseUrl.empty()) {
      where = PgConnection::describe(databaseUrl);
      PostgresStorage::Options postgres;
      postgres.url = databaseUrl;
      postgres.connections = static_cast<std::size_t>(threads) + 1;
      postgres.startupWait = std::chrono::seconds(databaseWait);
      postgres.onWait = [&log](const std::string& message) {
        log.message(LogLevel::warn, "waiting for the database: " + message);
      };
      storage = std::make_unique<PostgresStorage>(std::move(postgres));
    } else {
      where = database;
      storage = std::make_unique<SqliteStorage>(
          database, sync == "full" ? SqliteStorage::Sync::full : SqliteStorage::Sync::normal);
    }
    RequestHandler handler(*storage);
    HttpServer server(handler, log, options);
    const unsigned short port = server.listen();

    std::mutex stopping;
    std::condition_variable stopped;
    bool running = true;
    std::thread signalWatcher([&] {
      int received = 0;
      sigwait(&stopSignals, &received);
      if (received == SIGUSR1) {
        return;
      }
      log.message(LogLevel::info, std::string("stopping on ") + strsignal(received));
      server.stop();
      // A request stuck in a database that no longer answers must not keep
      // the process alive past the grace period.
      std::unique_lock lock(stopping);
      if (!stopped.wait_for(lock, std::chrono::seconds(20), [&] { return !running; })) {
        log.message(LogLevel::error, "requests did not end in time; stopping anyway");
        std::_Exit(1);
      }
    });

    const std::string address = server.listeningAddress();
    const bool v6 = address.find(':') != std::string::npos;
    std::printf("vantory-server ready on http://%s%s%s:%u (database %s)\n", v6 ? "[" : "",
                address.c_str(), v6 ? "]" : "", static_cast<unsigned>(port), where.c_str());
    std::fflush(stdout);
    server.run();
    {
      std::lock_guard lock(stopping);
      running = false;
    }
    stopped.notify_all();
    pthread_kill(signalWatcher.native_handle(), SIGUSR1);  // wakes it if run() ended otherwise
    signalWatcher.join();
    log.message(LogLevel::info, "stopped; the database is closed");
  } catch (const std::exception& error) {
    std::cerr << "vantory-server: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
