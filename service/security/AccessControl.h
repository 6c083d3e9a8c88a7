#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "security/UserList.h"

namespace vantory::service {

// Who may use a protected service: every request must carry the HTTP Basic
// credentials of someone on the user list. Wrong credentials from one
// client address lock that address out for a while, longer after each
// further failure, so passwords cannot be guessed at speed.
class AccessControl {
 public:
  using Clock = std::chrono::steady_clock;

  struct Verdict {
    bool allowed = false;
    int status = 200;  // 401 or 429 when refused
    std::string message;
    std::chrono::seconds retryAfter{0};  // for 429
  };

  explicit AccessControl(std::filesystem::path userFile);

  // The request's Authorization header (empty when it has none), from the
  // client address. May take a while (a password hash) the first time a
  // credential is seen.
  Verdict check(const std::string& client, std::string_view authorization);
  // Reads the user list again (on SIGHUP); on failure the list in use stays
  // and the reason is thrown.
  void reload();
  std::size_t userCount() const;

  // For tests: the clock the lockouts run on.
  void setClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }

  // Failures an address may make before it is locked out.
  static constexpr int kFreeFailures = 5;
  static constexpr std::chrono::seconds kLongestLockout{300};

 private:
  struct Failures {
    int count = 0;
    Clock::time_point last;
    Clock::time_point lockedUntil;
  };

  // Name and password of a Basic credential, if the header holds one.
  static std::optional<std::pair<std::string, std::string>> decode(std::string_view authorization);
  void recordFailure(const std::string& client, Clock::time_point now);

  std::filesystem::path userFile_;
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
  mutable std::mutex mutex_;
  UserList users_;
  // Authorization headers already verified, so a client that sends the same
  // header on every request costs one hash, not one per request.
  std::unordered_set<std::string> verified_;
  std::unordered_map<std::string, Failures> failures_;
};

}  // namespace vantory::service
