#include "SqliteConnection.h"

#include <sqlite3.h>

#include "storage/StorageError.h"

namespace vantory::service {

namespace {

StorageError::Kind kindOf(int code) {
  switch (code & 0xFF) {
    case SQLITE_FULL:
      return StorageError::Kind::full;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
      return StorageError::Kind::unreadable;
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return StorageError::Kind::readOnly;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StorageError::Kind::busy;
    default:
      return StorageError::Kind::failed;
  }
}

// What went wrong, with SQLite's own words and code and the file's name.
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
  const int code = db != nullptr ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
  const char* file = db != nullptr ? sqlite3_db_filename(db, "main") : nullptr;
  throw StorageError(kindOf(code), what + ": " +
                                       (db != nullptr ? sqlite3_errmsg(db) : "out of memory") +
                                       " (SQLite code " + std::to_string(code) + ", " +
                                       (file != nullptr ? file : "?") + ")");
}

}  // namespace

SqliteConnection::Statement::~Statement() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

SqliteConnection::Statement& SqliteConnection::Statement::bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) {
    fail(sqlite3_db_handle(statement_), "binding a value");
  }
  return *this;
}

SqliteConnection::Statement& SqliteConnection::Statement::bind(int index, std::string_view value) {
  if (sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    fail(sqlite3_db_handle(statement_), "binding a value");
  }
  return *this;
}

bool SqliteConnection::Statement::step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) {
    return true;
  }
  if (result == SQLITE_DONE) {
    return false;
  }
  fail(sqlite3_db_handle(statement_), "running a statement");
}

std::int64_t SqliteConnection::Statement::columnInt64(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string SqliteConnection::Statement::columnText(int column) const {
  const auto* text = sqlite3_column_text(statement_, column);
  const int size = sqlite3_column_bytes(statement_, column);
  return text != nullptr
             ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
             : std::string();
}

SqliteConnection::SqliteConnection(const std::filesystem::path& path, bool readOnly) {
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                    SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const int code = db_ != nullptr ? sqlite3_extended_errcode(db_) : SQLITE_NOMEM;
    const std::string message = "cannot open the database " + path.string() + ": " +
                                (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory") +
                                " (SQLite code " + std::to_string(code) + ")";
    sqlite3_close(db_);
    db_ = nullptr;
    throw StorageError(kindOf(code), message);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, 5000);
  // Room for the pages a search over a million deals touches (the default
  // keeps 2 MB).
  sqlite3_exec(db_, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
}

SqliteConnection::~SqliteConnection() {
  for (const auto& [sql, statement] : statements_) {
    sqlite3_finalize(statement);
  }
  sqlite3_close(db_);
}

void SqliteConnection::exec(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    fail(db_, "running \"" + sql.substr(0, sql.find_first_of("\n;")) + "\"");
  }
}

void SqliteConnection::rollbackQuietly() noexcept {
  if (sqlite3_get_autocommit(db_) == 0) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

SqliteConnection::Statement SqliteConnection::prepare(const char* sql) {
  auto found = statements_.find(sql);
  if (found == statements_.end()) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
      fail(db_, "preparing a statement");
    }
    found = statements_.emplace(sql, statement).first;
  }
  return Statement(found->second);
}

std::int64_t SqliteConnection::lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }

}  // namespace vantory::service
