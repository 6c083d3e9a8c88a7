#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vantory::service {

// One SQLite connection with its prepared statements kept for reuse. Not
// thread-safe: one user at a time.
class SqliteConnection {
 public:
  // A prepared statement in use; reset and unbound when it goes out of scope.
  class Statement {
   public:
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view value);
    // True while there is a row to read.
    bool step();
    std::int64_t columnInt64(int column) const;
    std::string columnText(int column) const;

   private:
    sqlite3_stmt* statement_;
  };

  SqliteConnection(const std::filesystem::path& path, bool readOnly);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  void exec(const std::string& sql);
  // Ends a failed transaction without throwing, so the failure that led here
  // is the one reported (SQLite may already have rolled back by itself).
  void rollbackQuietly() noexcept;
  Statement prepare(const char* sql);
  std::int64_t lastInsertRowid() const;

 private:
  sqlite3* db_ = nullptr;
  std::map<const char*, sqlite3_stmt*> statements_;  // keyed by the SQL literal's address
};

}  // namespace vantory::service
