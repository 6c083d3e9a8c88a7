#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace vantory::service {

// Replies kept written out, each under the storage's data version it was
// made at: read far more often than anything is written, they go out again
// as they are until the next commit anywhere changes the version.
class ReplyCache {
 public:
  using Text = std::shared_ptr<const std::string>;

  // The reply kept for the key at this version, else the one `make` writes
  // now (kept, unless `make` gives nothing). Read the version before the data
  // `make` reads, so a reply is never kept under a newer version than its data.
  Text get(std::uint64_t key, std::uint64_t version,
           const std::function<std::optional<std::string>()>& make);

 private:
  struct Entry {
    std::uint64_t version;
    Text text;
  };
  // Enough for every store of a large group; past it the cache starts over.
  static constexpr std::size_t kMaxEntries = 4096;

  std::mutex mutex_;
  std::unordered_map<std::uint64_t, Entry> entries_;
};

}  // namespace vantory::service
