#include "ServerLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace vantory::service {

namespace {

// flock() without waiting: 0, or the errno of the failure.
int lockNow(int fd, int operation) {
  int result = 0;
  do {
    result = ::flock(fd, operation | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

}  // namespace

int ServerLock::openAndLock(const std::filesystem::path& database, int operation) {
  const int fd = ::open(database.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw std::runtime_error("cannot open the database " + database.string() + ": " +
                             std::strerror(errno));
  }
  if (const int error = lockNow(fd, operation); error != 0) {
    ::close(fd);
    if (error != EWOULDBLOCK) {
      throw std::runtime_error("cannot lock the database " + database.string() + ": " +
                               std::strerror(error));
    }
    return -1;
  }
  return fd;
}

ServerLock ServerLock::shared(const std::filesystem::path& database) {
  const int fd = openAndLock(database, LOCK_SH);
  if (fd < 0) {
    throw std::runtime_error("the database " + database.string() +
                             " is being restored; start the server when the restore is done");
  }
  return ServerLock(fd);
}

ServerLock ServerLock::exclusive(const std::filesystem::path& database) {
  const int fd = openAndLock(database, LOCK_EX);
  if (fd < 0) {
    throw std::runtime_error("the database " + database.string() +
                             " is in use by a running vantory-server; stop it first "
                             "(systemctl stop vantory-server)");
  }
  return ServerLock(fd);
}

bool ServerLock::inUse(const std::filesystem::path& database) {
  const int fd = ::open(database.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool held = lockNow(fd, LOCK_EX) == EWOULDBLOCK;
  ::close(fd);
  return held;
}

ServerLock::~ServerLock() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

ServerLock::ServerLock(ServerLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ServerLock& ServerLock::operator=(ServerLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

}  // namespace vantory::service
