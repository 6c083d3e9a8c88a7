#pragma once

#include <filesystem>

namespace vantory::service {

// A lock on a database file that tells running servers (which share it)
// from a restore (which must have the file to itself). It is an flock() on
// the file, apart from SQLite's own locks, held until destroyed.
class ServerLock {
 public:
  // Taken by each server on its file; throws while a restore holds it.
  static ServerLock shared(const std::filesystem::path& database);
  // Throws while any server holds the file.
  static ServerLock exclusive(const std::filesystem::path& database);
  // Whether a server (or a restore) holds the file now; false for a file
  // that does not exist or cannot be opened.
  static bool inUse(const std::filesystem::path& database);

  ServerLock() = default;
  ~ServerLock();
  ServerLock(ServerLock&& other) noexcept;
  ServerLock& operator=(ServerLock&& other) noexcept;
  ServerLock(const ServerLock&) = delete;
  ServerLock& operator=(const ServerLock&) = delete;

 private:
  explicit ServerLock(int fd) : fd_(fd) {}
  static int openAndLock(const std::filesystem::path& database, int operation);

  int fd_ = -1;
};

}  // namespace vantory::service
