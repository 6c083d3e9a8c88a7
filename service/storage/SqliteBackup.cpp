#include "SqliteBackup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "storage/ServerLock.h"

namespace vantory::service {

namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

Database open(const std::filesystem::path& path, int flags) {
  sqlite3* db = nullptr;
  const int result = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  Database handle(db);
  if (result != SQLITE_OK) {
    throw std::runtime_error("cannot open " + path.string() + ": " +
                             (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
  }
  sqlite3_busy_timeout(db, 5000);
  return handle;
}

std::string firstValue(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    throw std::runtime_error(message);
  }
  std::string value;
  if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0) != nullptr) {
    value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  } else if (sqlite3_errcode(db) != SQLITE_OK && sqlite3_errcode(db) != SQLITE_DONE) {
    const std::string message = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    throw std::runtime_error(message);
  }
  sqlite3_finalize(statement);
  return value;
}

// Copies every page of `source` into `destination` in one step, so the copy
// is of one moment; waits while the source is locked by a writer.
int copyPages(sqlite3* source, sqlite3* destination, const std::string& what) {
  sqlite3_backup* backup = sqlite3_backup_init(destination, "main", source, "main");
  if (backup == nullptr) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(destination));
  }
  int result = SQLITE_OK;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (true) {
    result = sqlite3_backup_step(backup, -1);
    if ((result != SQLITE_BUSY && result != SQLITE_LOCKED) ||
        std::chrono::steady_clock::now() > giveUp) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const int pages = sqlite3_backup_pagecount(backup);
  sqlite3_backup_finish(backup);
  if (result != SQLITE_DONE) {
    throw std::runtime_error(what + ": " + sqlite3_errstr(result));
  }
  return pages;
}

void checkSound(sqlite3* db, const std::filesystem::path& path) {
  const std::string verdict = firstValue(db, "PRAGMA integrity_check(1)");
  if (verdict != "ok") {
    throw std::runtime_error(path.string() + " is damaged: " + verdict);
  }
}

void syncFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// The database's own file under `name`, or one that SQLite keeps beside it
// (its WAL, shared memory or rollback journal), reached by any path: a link,
// "..", or another mount of the same folder. Files are compared, not names,
// and a companion that does not exist yet is matched by its folder and name.
std::optional<std::filesystem::path> databaseFileAt(const std::filesystem::path& name,
                                                    const std::filesystem::path& database) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const fs::path target = fs::weakly_canonical(fs::absolute(name, ignored), ignored);
  const fs::path own = fs::weakly_canonical(fs::absolute(database, ignored), ignored);
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    const fs::path companion = own.string() + suffix;
    if (fs::equivalent(name, companion, ignored) ||
        (target.filename() == companion.filename() &&
         fs::equivalent(target.parent_path(), companion.parent_path(), ignored))) {
      return companion;
    }
  }
  return std::nullopt;
}

}  // namespace

int SqliteBackup::backup(const std::filesystem::path& database, const std::filesystem::path& to) {
  if (!std::filesystem::exists(database)) {
    throw std::runtime_error("there is no database at " + database.string());
  }
  const std::filesystem::path partial = to.string() + ".partial";
  // Replacing the database's WAL or journal would throw away every write it
  // holds that is not in the database file yet.
  for (const auto& written : {to, partial}) {
    if (const auto file = databaseFileAt(written, database)) {
      throw std::runtime_error("the copy must go to another file than " + file->string() +
                               ", which belongs to the database it copies");
    }
  }
  // A backup put over the file of a running server would be lost, and the
  // server's writes with it: putting a database back is what restore is for.
  if (ServerLock::inUse(to)) {
    throw std::runtime_error("cannot write the copy to " + to.string() +
                             ": a running vantory-server uses it");
  }
  const Database source = open(database, SQLITE_OPEN_READWRITE);
  std::filesystem::remove(partial);
  int pages = 0;
  try {
    const Database copy = open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    pages = copyPages(source.get(), copy.get(), "cannot copy " + database.string());
    // A copy of a WAL database is one too; fold everything into the file so
    // the copy is a single self-contained file.
    firstValue(copy.get(), "PRAGMA journal_mode=DELETE");
    checkSound(copy.get(), partial);
  } catch (...) {
    std::filesystem::remove(partial);
    throw;
  }
  syncFile(partial);
  std::error_code error;
  std::filesystem::rename(partial, to, error);
  if (error) {
    std::filesystem::remove(partial);
    throw std::runtime_error("cannot write " + to.string() + ": " + error.message());
  }
  return pages;
}

void SqliteBackup::restore(const std::filesystem::path& from,
                           const std::filesystem::path& database) {
  if (const auto file = databaseFileAt(from, database)) {
    throw std::runtime_error("cannot restore from " + file->string() +
                             ": it belongs to the database being restored");
  }
  bool vantoryTables = false;
  try {
    const Database copy = open(from, SQLITE_OPEN_READONLY);
    checkSound(copy.get(), from);
    vantoryTables = firstValue(copy.get(),
                               "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                               "name IN ('stores', 'items', 'interests', 'purchases')") == "4";
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("cannot restore from " + from.string() + ": " + error.what());
  }
  if (!vantoryTables) {
    throw std::runtime_error(from.string() + " is not a Vantory database");
  }
  // Held until the database is closed again: no server may open it meanwhile.
  const ServerLock lock = ServerLock::exclusive(database);
  {
    const Database copy = open(from, SQLITE_OPEN_READONLY);
    const Database target = open(database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    copyPages(copy.get(), target.get(), "cannot restore into " + database.string());
    firstValue(target.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    checkSound(target.get(), database);
  }
  syncFile(database);
}

}  // namespace vantory::service
