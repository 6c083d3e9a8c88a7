#include "ReplyCache.h"

namespace vantory::service {

ReplyCache::Text ReplyCache::get(std::uint64_t key, std::uint64_t version,
                                 const std::function<std::optional<std::string>()>& make) {
  {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found != entries_.end() && found->second.version == version) {
      return found->second.text;
    }
  }
  // Written outside the lock: readers of other keys are not held up.
  std::optional<std::string> made = make();
  if (!made) {
    return nullptr;
  }
  auto text = std::make_shared<const std::string>(std::move(*made));
  std::lock_guard lock(mutex_);
  if (entries_.size() >= kMaxEntries) {
    entries_.clear();
  }
  Entry& entry = entries_[key];
  if (!entry.text || entry.version <= version) {
    entry = {version, text};
  }
  return text;
}

}  // namespace vantory::service
