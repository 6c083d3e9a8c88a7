#include "SqliteConnection.h"

#include <sqlite3.h>

#include <stdexcept>

namespace vantory::service {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
  throw std::runtime_error(what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
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
    const std::string message = "cannot open the database " + path.string() + ": " +
                                (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error(message);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, 5000);
}

SqliteConnection::~SqliteConnection() {
  for (const auto& [sql, statement] : statements_) {
    sqlite3_finalize(statement);
  }
  sqlite3_close(db_);
}

void SqliteConnection::exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("database: " + message);
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
