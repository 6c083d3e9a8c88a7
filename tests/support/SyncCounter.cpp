// Counts the syncs a process asks of the kernel, per file, so that tests can
// see durability options do what they say. Linked into a test it answers
// vantory_syncs_of(); preloaded (LD_PRELOAD) into another process it writes
// "COUNT PATH" lines to $VANTORY_SYNC_LOG when that process exits.

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex& lock() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::map<std::string, std::size_t>& counts() {
  static auto* map = new std::map<std::string, std::size_t>;
  return *map;
}

void count(int fd) {
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
  std::lock_guard guard(lock());
  ++counts()[n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "?"];
}

__attribute__((destructor)) void report() {
  const char* log = std::getenv("VANTORY_SYNC_LOG");
  FILE* out = log != nullptr ? std::fopen(log, "w") : nullptr;
  if (out == nullptr) {
    return;
  }
  std::lock_guard guard(lock());
  for (const auto& [path, times] : counts()) {
    std::fprintf(out, "%zu %s\n", times, path.c_str());
  }
  std::fclose(out);
}

}  // namespace

extern "C" {

int fsync(int fd) {
  count(fd);
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

int fdatasync(int fd) {
  count(fd);
  return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

std::size_t vantory_syncs_of(const char* path) {
  std::lock_guard guard(lock());
  const auto found = counts().find(path);
  return found == counts().end() ? 0 : found->second;
}
}
