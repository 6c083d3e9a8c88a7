// vantory-server: the one HTTP/JSON service a group's apps share.

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <boost/asio/ip/address.hpp>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "api/RequestHandler.h"
#include "events/ChangeFeed.h"
#include "http/AccessLog.h"
#include "http/HttpServer.h"
#include "http/WebFiles.h"
#include "security/AccessControl.h"
#include "security/TlsCertificates.h"
#include "security/UserList.h"
#include "storage/PgConnection.h"
#include "storage/PostgresStorage.h"
#include "storage/SqliteBackup.h"
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

// One line from standard input; from a terminal, without echoing it.
// The line typed after the prompt (none when empty); nothing at the end of input.
std::optional<std::string> readLine(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) {
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

// The same, not shown as typed; the prompt only on a terminal.
std::optional<std::string> readSecretLine(const char* prompt) {
  const bool terminal = ::isatty(STDIN_FILENO) != 0;
  termios saved{};
  if (terminal) {
    ::tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  auto line = readLine(terminal ? prompt : "");
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << "\n";
  }
  return line;
}

int setPassword(const std::string& name, std::optional<std::string> nameInApp,
                const std::string& userFile) {
  if (const auto refusal = UserList::checkName(name)) {
    std::cerr << "vantory-server: " << *refusal << "\n";
    return 2;
  }
  const auto password = readSecretLine(("Password for " + name + ": ").c_str());
  if (!password || password->empty()) {
    std::cerr << "vantory-server: no password given; nothing changed\n";
    return 2;
  }
  if (::isatty(STDIN_FILENO) != 0) {
    const auto again = readSecretLine("The same password again: ");
    if (!again || *again != *password) {
      std::cerr << "vantory-server: the passwords differ; nothing changed\n";
      return 2;
    }
    if (!nameInApp) {
      nameInApp = readLine("The name " + name + " registers in the app (Enter: as before, or " +
                           name + "): ");
      if (nameInApp && nameInApp->empty()) {
        nameInApp.reset();
      }
    }
  }
  if (const auto refusal =
          nameInApp && !nameInApp->empty() ? UserList::checkNameInApp(*nameInApp) : std::nullopt) {
    std::cerr << "vantory-server: " << *refusal << "; nothing changed\n";
    return 2;
  }
  UserList::storePassword(userFile, name, *password,
                          nameInApp ? std::optional<std::string_view>(*nameInApp) : std::nullopt);
  const std::string inApp = UserList::load(userFile).recordName(name);
  std::cout << "vantory-server: " << name << " can sign in";
  if (inApp != name) {
    std::cout << " and registers in the app as " << inApp;
  }
  std::cout << "; the list is " << userFile << " (a running server reads it again on SIGHUP)\n";
  return 0;
}

// Everything the command line says, with its defaults.
struct Options {
  std::string listen = "127.0.0.1:8080";
  std::string database = "./vantory.db";
  std::string databaseUrl;
  int databaseWait = 30;
  // Two per core: a request waiting for its write's group commit holds its
  // thread, so more than one per core lets writes share a commit, while more
  // than two make CPU-bound searches queue behind each other (bench/README.md).
  int threads = static_cast<int>(std::max(4U, 2 * std::thread::hardware_concurrency()));
  std::string logLevel = "info";
  std::string logFormat = "text";
  std::size_t maxConnections = defaultMaxConnections();
  std::size_t maxConnectionsPerClient = std::max<std::size_t>(64, maxConnections / 8);
  // Streams of changes are connections too: half of them at most, so that
  // followers never crowd out requests.
  std::size_t maxStreams = std::max<std::size_t>(1, maxConnections / 2);
  std::size_t maxStreamsPerClient = 16;
  int eventsKeepAliveSeconds = 15;
  std::string sync = "normal";
  int timeoutSeconds = 30;
  std::string tlsCertificate;
  std::string tlsKey;
  std::vector<std::string> trustedProxies;
  std::string userFile;
  std::string webRoot;
  bool noWeb = false;

  // passwd NAME [--users FILE]
  std::string passwdName;
  std::optional<std::string> passwdNameInApp;
  std::string passwdFile = "/etc/vantory/users";
  // backup --to FILE [--database FILE]; restore --from FILE [--database FILE]
  std::string backupDatabase = database;
  std::string backupTo;
  std::string restoreFrom;
  std::string restoreDatabase = database;
};

void addServerOptions(CLI::App& cli, Options& options) {
  cli.add_option("--listen", options.listen,
                 "address or host name and port to serve on (port 0: any free port)")
      ->envname("VANTORY_LISTEN")
      ->capture_default_str();
  cli.add_option("--database", options.database,
                 "SQLite file, created on first start; or a postgresql:// URI")
      ->envname("VANTORY_DATABASE")
      ->capture_default_str();
  cli.add_option("--database-url", options.databaseUrl,
                 "PostgreSQL to use instead of a file: postgresql://USER@HOST:PORT/DBNAME")
      ->envname("VANTORY_DATABASE_URL");
  cli.add_option("--database-wait", options.databaseWait,
                 "seconds to wait at start for a PostgreSQL database that cannot be reached yet")
      ->check(CLI::Range(0, 3600))
      ->capture_default_str();
  cli.add_option("--threads", options.threads,
                 "threads serving requests (default: 2 per core, at least 4; requests waiting "
                 "for a commit hold theirs)")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cli.add_option("--log-level", options.logLevel,
                 "error, warn, info (one line per request) or debug")
      ->envname("VANTORY_LOG_LEVEL")
      ->check(CLI::IsMember({"error", "warn", "info", "debug"}))
      ->capture_default_str();
  cli.add_option("--log-format", options.logFormat,
                 "text: one line of fields per request; json: one JSON object per line")
      ->envname("VANTORY_LOG_FORMAT")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  cli.add_option("--max-connections", options.maxConnections,
                 "connections open at once; more are answered 503 (default: from the "
                 "descriptor limit, which is raised to its maximum)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cli.add_option("--max-connections-per-client", options.maxConnectionsPerClient,
                 "connections open at once from one client address; more are answered 429")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cli.add_option("--max-streams", options.maxStreams,
                 "clients following changes live (GET /kelvane/qx/events) at once; more are "
                 "answered 503")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cli.add_option("--max-streams-per-client", options.maxStreamsPerClient,
                 "streams of changes open at once from one client address; more are answered 429")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cli.add_option("--events-keep-alive", options.eventsKeepAliveSeconds,
                 "seconds between the comment lines that keep an idle stream of changes open "
                 "through proxies")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  cli.add_option("--sync", options.sync,
                 "normal: acknowledged writes survive a crash of the server; "
                 "full: they also survive a power loss (slower)")
      ->check(CLI::IsMember({"normal", "full"}))
      ->capture_default_str();
  cli.add_option("--timeout", options.timeoutSeconds,
                 "seconds a connection may stay idle or take to send a request")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  cli.add_option("--tls-cert", options.tlsCertificate,
                 "serve HTTPS with this certificate (PEM, the chain after it); read again on "
                 "SIGHUP")
      ->envname("VANTORY_TLS_CERT");
  cli.add_option("--tls-key", options.tlsKey, "the private key of --tls-cert (PEM)")
      ->envname("VANTORY_TLS_KEY");
  cli.add_option("--trusted-proxy", options.trustedProxies,
                 "the address of a load balancer whose X-Forwarded-For names the client (for "
                 "lockouts and the access log); may be given more than once")
      ->envname("VANTORY_TRUSTED_PROXY")
      ->delimiter(',')
      ->check([](const std::string& text) -> std::string {
        boost::system::error_code invalid;
        boost::asio::ip::make_address(text, invalid);
        return invalid ? "not an IP address: " + text : "";
      });
  cli.add_option("--users", options.userFile,
                 "only the users listed in this file (see the passwd command) may use the "
                 "service; read again on SIGHUP")
      ->envname("VANTORY_USERS");
  cli.add_option("--web-root", options.webRoot,
                 "folder of the web app served at / (default: share/vantory/web of the "
                 "installation, when it is there)")
      ->envname("VANTORY_WEB_ROOT");
  cli.add_flag("--no-web", options.noWeb, "serve the API only, not the web app");
}

struct Subcommands {
  CLI::App* passwd;
  CLI::App* backup;
  CLI::App* restore;
};

Subcommands addSubcommands(CLI::App& cli, Options& options) {
  cli.require_subcommand(0, 1);
  CLI::App* passwd =
      cli.add_subcommand("passwd",
                         "set a user's password in the user list (asks for it; reads one line when "
                         "standard input is not a terminal)");
  passwd->add_option("NAME", options.passwdName, "the name the user signs in with")->required();
  passwd->add_option("--name-in-app", options.passwdNameInApp,
                     "the name the user registers in the app, when not NAME: with a user list, "
                     "what they add and change is under that name only (asked on a terminal; "
                     "kept when not given; empty: NAME)");
  passwd->add_option("--users", options.passwdFile, "the user list to change")
      ->capture_default_str();

  CLI::App* backup =
      cli.add_subcommand("backup", "copy a SQLite database, also while a server is using it");
  backup->add_option("--database", options.backupDatabase, "the SQLite file to copy")
      ->capture_default_str();
  backup->add_option("--to", options.backupTo, "the file to write the copy to")->required();

  CLI::App* restore = cli.add_subcommand(
      "restore", "put a backup back in place of a SQLite database (stop the server first)");
  restore->add_option("--from", options.restoreFrom, "the backup to restore")
      ->required()
      ->check(CLI::ExistingFile);
  restore->add_option("--database", options.restoreDatabase, "the SQLite file to replace")
      ->capture_default_str();
  return {passwd, backup, restore};
}

int runBackup(const Options& options) {
  const int pages = SqliteBackup::backup(options.backupDatabase, options.backupTo);
  std::cout << "vantory-server: copied " << options.backupDatabase << " to " << options.backupTo
            << " (" << pages << " pages, checked)\n";
  return 0;
}

int runRestore(const Options& options) {
  SqliteBackup::restore(options.restoreFrom, options.restoreDatabase);
  std::cout << "vantory-server: restored " << options.restoreDatabase << " from "
            << options.restoreFrom << "\n";
  return 0;
}

// The SQLite file, or the PostgreSQL database when a URL names one; `where`
// says which, for the ready line.
std::unique_ptr<Storage> openStorage(const Options& options, const AccessLog& log,
                                     std::string& where) {
  const std::string url = !options.databaseUrl.empty()      ? options.databaseUrl
                          : isPostgresUrl(options.database) ? options.database
                                                            : std::string();
  if (!url.empty()) {
    where = PgConnection::describe(url);
    PostgresStorage::Options postgres;
    postgres.url = url;
    postgres.connections = static_cast<std::size_t>(options.threads) + 1;
    postgres.startupWait = std::chrono::seconds(options.databaseWait);
    postgres.onWait = [&log](const std::string& message) {
      log.message(LogLevel::warn, "waiting for the database: " + message);
    };
    return std::make_unique<PostgresStorage>(std::move(postgres));
  }
  where = options.database;
  return std::make_unique<SqliteStorage>(options.database, options.sync == "full"
                                                               ? SqliteStorage::Sync::full
                                                               : SqliteStorage::Sync::normal);
}

// The web app's folder: the one named, else the installed one when it is there.
std::unique_ptr<WebFiles> openWebFiles(const Options& options, const AccessLog& log) {
  if (options.noWeb) {
    return nullptr;
  }
  std::error_code ignored;
  std::filesystem::path folder = options.webRoot;
  if (folder.empty()) {
    folder = WebFiles::installedRoot(std::filesystem::canonical("/proc/self/exe", ignored));
  }
  // A folder named must be usable.
  if (options.webRoot.empty() && !std::filesystem::is_directory(folder, ignored)) {
    return nullptr;
  }
  auto web = std::make_unique<WebFiles>(folder);
  log.message(LogLevel::info, "serving the web app from " + folder.string());
  return web;
}

// The connection settings; false (having said why) when they cannot be used.
bool httpOptions(const Options& options, HttpServerOptions& http) {
  if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
    std::cerr << "vantory-server: HTTPS needs both --tls-cert and --tls-key\n";
    return false;
  }
  if (!splitAddress(options.listen, http.host, http.port)) {
    std::cerr << "vantory-server: --listen takes HOST:PORT, such as 127.0.0.1:8080 or "
                 "localhost:8080\n";
    return false;
  }
  http.threads = options.threads;
  http.timeout = std::chrono::seconds(options.timeoutSeconds);
  http.maxConnections = options.maxConnections;
  http.maxConnectionsPerClient = options.maxConnectionsPerClient;
  http.eventKeepAlive = std::chrono::seconds(options.eventsKeepAliveSeconds);
  for (const auto& proxy : options.trustedProxies) {
    // As the peer's address is written ("::1", not "0:0:0:0:0:0:0:1").
    http.trustedProxies.push_back(boost::asio::ip::make_address(proxy).to_string());
  }
  return true;
}

int runServer(const Options& options) {
  HttpServerOptions http;
  if (!httpOptions(options, http)) {
    return 2;
  }
  LogLevel level = LogLevel::info;
  AccessLog::parseLevel(options.logLevel, level);
  const AccessLog log(level, options.logFormat == "json" ? LogFormat::json : LogFormat::text);

  // Signals are taken by one thread of ours (sigwait), not by a signal_set on
  // the server's own threads: when every one of those is stuck in a database
  // that no longer answers, the stop must still come, and the grace period
  // below must still end the process. Every other thread blocks them.
  // SIGUSR1 only releases that thread when the server ends by itself.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::string where;
  std::unique_ptr<Storage> storage = openStorage(options, log, where);
  std::unique_ptr<TlsCertificates> certificates;
  if (!options.tlsCertificate.empty()) {
    certificates = std::make_unique<TlsCertificates>(options.tlsCertificate, options.tlsKey);
    http.tls = certificates.get();
  }
  std::unique_ptr<AccessControl> access;
  if (!options.userFile.empty()) {
    access = std::make_unique<AccessControl>(options.userFile);
    http.access = access.get();
    if (access->userCount() == 0) {
      log.message(LogLevel::warn, "the user list " + options.userFile +
                                      " is empty: nobody can use the service until someone "
                                      "is added (vantory-server passwd NAME)");
    }
  }
  const std::unique_ptr<WebFiles> web = openWebFiles(options, log);
  http.web = web.get();
  RequestHandler handler(*storage);
  ChangeFeed changes(*storage, {options.maxStreams, options.maxStreamsPerClient});
  http.changes = &changes;
  HttpServer server(handler, log, http);
  const unsigned short port = server.listen();
  if (access && !certificates && !server.listensOnLoopbackOnly()) {
    std::cerr << "vantory-server: --users on an address other machines can reach needs "
                 "HTTPS (--tls-cert and --tls-key): names and passwords would cross the "
                 "network in clear\n";
    return 2;
  }
  // What SIGHUP reads again: renewed certificates, a changed user list.
  const auto reload = [&] {
    try {
      if (certificates) {
        certificates->reload();
        log.message(LogLevel::info, "reloaded the certificate " + options.tlsCertificate);
      }
      if (access) {
        access->reload();
        log.message(LogLevel::info, "reloaded the user list " + options.userFile + " (" +
                                        std::to_string(access->userCount()) + " users)");
      }
    } catch (const std::exception& error) {
      log.message(LogLevel::error, std::string("kept the previous settings: ") + error.what());
    }
  };

  std::mutex stopping;
  std::condition_variable stopped;
  bool running = true;
  std::thread signalWatcher([&] {
    int received = 0;
    while (sigwait(&stopSignals, &received) == 0 && received == SIGHUP) {
      reload();
    }
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
  std::printf("vantory-server ready on %s://%s%s%s:%u (database %s)\n",
              certificates ? "https" : "http", v6 ? "[" : "", address.c_str(), v6 ? "]" : "",
              static_cast<unsigned>(port), where.c_str());
  std::fflush(stdout);
  server.run();
  {
    std::lock_guard lock(stopping);
    running = false;
  }
  stopped.notify_all();
  pthread_kill(signalWatcher.native_handle(), SIGUSR1);  // wakes it if run() ended otherwise
  signalWatcher.join();
  // Sign-ins still being hashed hand their verdicts to the server's
  // executor: they finish while the server (and so its executor) exists.
  access.reset();
  log.message(LogLevel::info, "stopped; the database is closed");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{
      "vantory-server: the shared service of Vantory (stores, deals, interest, purchases)"};
  Options options;
  addServerOptions(cli, options);
  const Subcommands subcommands = addSubcommands(cli, options);
  CLI11_PARSE(cli, argc, argv);
  try {
    if (*subcommands.passwd) {
      return setPassword(options.passwdName, options.passwdNameInApp, options.passwdFile);
    }
    if (*subcommands.backup) {
      return runBackup(options);
    }
    if (*subcommands.restore) {
      return runRestore(options);
    }
    return runServer(options);
  } catch (const std::exception& error) {
    std::cerr << "vantory-server: " << error.what() << "\n";
    return 1;
  }
}
