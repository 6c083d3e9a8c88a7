#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "security/HashingPool.h"
#include "security/UserList.h"

namespace vantory::service {

// Who may use a protected service: every request must carry the HTTP Basic
// credentials of someone on the user list. Wrong credentials lock out, for a
// while that grows with each further failure, both the client address they
// came from and the name they were tried on, so passwords cannot be guessed
// at speed from one address or from many.
class AccessControl {
 public:
  using Clock = std::chrono::steady_clock;

  struct Verdict {
    Verdict() = default;
    Verdict(bool isAllowed, int replyStatus, std::string text, std::chrono::seconds wait,
            std::string signedIn = {})
        : allowed(isAllowed),
          status(replyStatus),
          message(std::move(text)),
          retryAfter(wait),
          user(std::move(signedIn)) {}

    bool allowed = false;
    int status = 200;  // 401, 429, or 503 when the hashing queue is full
    std::string message;
    std::chrono::seconds retryAfter{0};  // for 429 and 503
    std::string user;                    // when allowed: the name the person's records are under
  };

  struct Options {
    // Threads that hash passwords, and how many hashes may wait for them.
    std::size_t hashingThreads = 2;
    std::size_t hashingQueue = 32;
  };

  AccessControl(std::filesystem::path userFile, Options options);
  explicit AccessControl(std::filesystem::path userFile)
      : AccessControl(std::move(userFile), Options{}) {}

  // Decides on the request's Authorization header (empty when it has none),
  // from the client address, and hands the verdict to `done`: at once when
  // no password needs hashing (credentials already proven, a lockout, no
  // credentials), otherwise later on a hashing thread.
  void check(const std::string& client, std::string_view authorization,
             const std::function<void(Verdict)>& done);
  // Reads the user list again (on SIGHUP); on failure the list in use stays
  // and the reason is thrown.
  void reload();
  std::size_t userCount() const;

  // For tests: the clock the lockouts run on.
  void setClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }

  // Failures an address, or a name, may have before it is locked out.
  static constexpr int kFreeFailures = 5;
  static constexpr std::chrono::seconds kLongestLockout{300};

 private:
  struct Failures {
    int count = 0;
    int pending = 0;  // attempts being hashed now, counted as failures until known
    Clock::time_point last;
    Clock::time_point lockedUntil;
    // For an address: the one name its failures were on, unless they were
    // on several (then only time clears them).
    std::string name;
    bool severalNames = false;
  };
  using FailureTable = std::unordered_map<std::string, Failures>;

  // Name and password of a Basic credential, if the header holds one.
  static std::optional<std::pair<std::string, std::string>> decode(std::string_view authorization);
  std::optional<Verdict> lockout(const FailureTable& table, const std::string& key,
                                 Clock::time_point now) const;
  static void recordFailure(FailureTable& table, const std::string& key, const std::string& name,
                            Clock::time_point now);
  static void release(FailureTable& table, const std::string& key);
  // The verdict once the hash is known: recordName is set when the password was right.
  Verdict conclude(const std::string& client, const std::string& name, const std::string& proven,
                   std::optional<std::string> recordName);

  std::filesystem::path userFile_;
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
  mutable std::mutex mutex_;
  std::shared_ptr<const UserList> users_;
  // Credentials already proven ("name:password", however the header spelled
  // them), so a client costs one hash, not one per request.
  // Proven "name:password" -> the name that person's records are under.
  std::unordered_map<std::string, std::string> proven_;
  FailureTable byClient_;
  FailureTable byName_;
  HashingPool hashing_;  // last: its threads end before the rest goes
};

}  // namespace vantory::service
