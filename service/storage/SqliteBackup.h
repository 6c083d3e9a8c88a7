#pragma once

#include <filesystem>

namespace vantory::service {

// Copies of a SQLite database, taken and put back with SQLite's online
// backup: a backup is one consistent moment of a database a server is
// writing to meanwhile; a restore refuses while a server has the database.
class SqliteBackup {
 public:
  SqliteBackup() = delete;

  // Writes a checked copy of the database to `to`, which appears whole or
  // not at all. Returns the number of pages copied.
  static int backup(const std::filesystem::path& database, const std::filesystem::path& to);
  // Replaces the database's content with the copy's, after checking that
  // the copy is a sound Vantory database. The database file keeps its owner.
  static void restore(const std::filesystem::path& from, const std::filesystem::path& database);
};

}  // namespace vantory::service
