// vantory-server: the one HTTP/JSON service a group's apps share.

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <thread>

#include "api/RequestHandler.h"
#include "http/AccessLog.h"
#include "http/HttpServer.h"
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{
      "vantory-server: the shared service of Vantory (stores, deals, interest, purchases)"};
  std::string listen = "127.0.0.1:8080";
  std::string database = "./vantory.db";
  int threads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  std::string logLevel = "info";
  std::string sync = "normal";
  int timeoutSeconds = 30;
  cli.add_option("--listen", listen, "address and port to serve on (port 0: any free port)")
      ->capture_default_str();
  cli.add_option("--database", database, "SQLite file, created on first start")
      ->capture_default_str();
  cli.add_option("--threads", threads, "number of I/O threads (default: the number of cores)")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cli.add_option("--log-level", logLevel, "error, warn, info (one line per request) or debug")
      ->check(CLI::IsMember({"error", "warn", "info", "debug"}))
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
    std::cerr << "vantory-server: --listen takes ADDRESS:PORT, such as 127.0.0.1:8080\n";
    return 2;
  }
  options.threads = threads;
  options.timeout = std::chrono::seconds(timeoutSeconds);
  LogLevel level = LogLevel::info;
  AccessLog::parseLevel(logLevel, level);
  const AccessLog log(level);

  // Signals are taken by one thread of ours; every other thread blocks them.
  // SIGUSR1 only releases that thread when the server ends by itself.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    SqliteStorage storage(database,
                          sync == "full" ? SqliteStorage::Sync::full : SqliteStorage::Sync::normal);
    RequestHandler handler(storage);
    HttpServer server(handler, log, options);
    const unsigned short port = server.listen();

    std::thread signalWatcher([&server, &stopSignals, &log] {
      int received = 0;
      sigwait(&stopSignals, &received);
      if (received != SIGUSR1) {
        log.message(LogLevel::info, std::string("stopping on ") + strsignal(received));
        server.stop();
      }
    });

    std::printf("vantory-server ready on http://%s:%u (database %s)\n", options.host.c_str(),
                static_cast<unsigned>(port), database.c_str());
    std::fflush(stdout);
    server.run();

    pthread_kill(signalWatcher.native_handle(), SIGUSR1);  // wakes it if run() ended otherwise
    signalWatcher.join();
    log.message(LogLevel::info, "stopped; the database is closed");
  } catch (const std::exception& error) {
    std::cerr << "vantory-server: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
