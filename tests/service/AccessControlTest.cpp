#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "HttpClient.h"
#include "security/AccessControl.h"

namespace {

using testsupport::base64;
using testsupport::basicCredentials;
using vantory::service::AccessControl;
using vantory::service::UserList;

// Verdicts handed over from whatever thread gave them.
class Verdicts {
 public:
  std::function<void(AccessControl::Verdict)> collector() {
    {
      std::lock_guard lock(mutex_);
      ++expected_;
    }
    return [this](AccessControl::Verdict verdict) {
      std::lock_guard lock(mutex_);
      statuses_.push_back(verdict.status);
      arrived_.notify_all();
    };
  }
  // Every status asked for so far, in the order they came.
  std::vector<int> all() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [this] { return statuses_.size() == expected_; });
    return statuses_;
  }
  int count(int status) {
    const auto statuses = all();
    return static_cast<int>(std::count(statuses.begin(), statuses.end(), status));
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::size_t expected_ = 0;
  std::vector<int> statuses_;
};

class AccessControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    users_ =
        std::filesystem::temp_directory_path() / ("vantory-users-" + std::to_string(::getpid()));
    UserList::storePassword(users_, "ann", "ann's own", "Ann Lee");
    UserList::storePassword(users_, "bo", "bo's own");
    UserList::storePassword(users_, "cy", "cy's own");
  }
  void TearDown() override { std::filesystem::remove(users_); }

  // One check's verdict, waited for.
  static AccessControl::Verdict verdictOf(AccessControl& access, const std::string& client,
                                          const std::string& header) {
    std::promise<AccessControl::Verdict> verdict;
    access.check(client, header,
                 [&verdict](AccessControl::Verdict given) { verdict.set_value(std::move(given)); });
    return verdict.get_future().get();
  }
  static int statusOf(AccessControl& access, const std::string& client, const std::string& header) {
    return verdictOf(access, client, header).status;
  }

  std::filesystem::path users_;
};

TEST_F(AccessControlTest, ASignedInGuesserIsLockedOutWhateverHeSpellsOrInterleaves) {
  AccessControl access(users_);
  const auto now = AccessControl::Clock::now();
  access.setClock([now] { return now; });  // no lockout runs out meanwhile
  for (int i = 0; i < 2; ++i) {            // hashed, then known
    const auto verdict = verdictOf(access, "10.0.0.1", basicCredentials("ann", "ann's own"));
    EXPECT_EQ(verdict.status, 200);
    EXPECT_EQ(verdict.user, "Ann Lee") << "the verdict names whose records the person's are";
  }
  AccessControl another(users_);
  EXPECT_EQ(verdictOf(another, "10.0.0.1", basicCredentials("bo", "bo's own")).user, "bo")
      << "without a name in the app, the sign-in name";

  // Four guesses at bo's password, then ann's own sign-in spelt anew, again
  // and again: the respellings are known credentials, and clear nothing.
  const std::string own = base64("ann:ann's own");
  const std::vector<std::string> respellings = {"Basic  " + own, "basic " + own,
                                                "BASIC " + own + "  ", "Basic   " + own + " "};
  int checked = 0;
  int lockedOut = 0;
  for (int round = 0; round < 10; ++round) {
    for (int guess = 0; guess < 4; ++guess) {
      const int status = statusOf(
          access, "10.0.0.1", basicCredentials("bo", "guess " + std::to_string(round * 4 + guess)));
      checked += status == 401 ? 1 : 0;
      lockedOut += status == 429 ? 1 : 0;
    }
    const auto before = UserList::hashesComputed();
    EXPECT_EQ(statusOf(access, "10.0.0.1", respellings[round % respellings.size()]), 200);
    EXPECT_EQ(UserList::hashesComputed(), before) << "a respelt header is known, not hashed";
  }
  EXPECT_EQ(checked, AccessControl::kFreeFailures);
  EXPECT_EQ(lockedOut, 40 - AccessControl::kFreeFailures);

  // The name guessed at is locked from other addresses too; other names,
  // and bo once proven, are not.
  EXPECT_EQ(statusOf(access, "10.0.0.2", basicCredentials("bo", "bo's own")), 429);
  EXPECT_EQ(statusOf(access, "10.0.0.3", basicCredentials("ann", "ann's own")), 200);

  // Someone who mistyped only their own password is forgiven once right.
  for (int i = 0; i < AccessControl::kFreeFailures - 1; ++i) {
    EXPECT_EQ(statusOf(access, "10.0.0.4", basicCredentials("cy", "typo")), 401);
  }
  EXPECT_EQ(statusOf(access, "10.0.0.4", basicCredentials("cy", "cy's own")), 200);
  for (int i = 0; i < AccessControl::kFreeFailures - 1; ++i) {
    EXPECT_EQ(statusOf(access, "10.0.0.4", basicCredentials("cy", "typo again")), 401)
        << "the address and the name start afresh";
  }
}

TEST_F(AccessControlTest, OnlyWellFormedBase64IsReadAsCredentials) {
  AccessControl access(users_);
  const std::string own = basicCredentials("ann", "ann's own").substr(6);  // 20 characters, one "="
  ASSERT_EQ(statusOf(access, "192.0.2.20", "Basic " + own), 200);
  std::string unpadded = own;
  while (unpadded.back() == '=') {
    unpadded.pop_back();
  }
  int host = 21;
  // The first four name ann with her password under a lax decoder.
  for (const std::string& malformed :
       {unpadded, unpadded + "===", own + "=", own + "==", own + "A", "=" + own,
        own.substr(0, 4) + "=" + own.substr(4), own.substr(0, 8) + " " + own.substr(8)}) {
    // Each from an address of its own: refusals count towards a lockout.
    EXPECT_EQ(statusOf(access, "192.0.2." + std::to_string(host++), "Basic " + malformed), 401)
        << malformed;
  }
}

TEST_F(AccessControlTest, GuessesSentAtOnceAreCheckedNoFasterThanOneByOne) {
  AccessControl access(users_, {2, 256});
  const auto before = UserList::hashesComputed();
  Verdicts fromOneAddress;
  for (int i = 0; i < 50; ++i) {
    access.check("10.0.0.1", basicCredentials("guest" + std::to_string(i), "guess"),
                 fromOneAddress.collector());
  }
  EXPECT_EQ(fromOneAddress.count(401), AccessControl::kFreeFailures);
  EXPECT_EQ(fromOneAddress.count(429), 50 - AccessControl::kFreeFailures);

  Verdicts onOneName;
  for (int i = 0; i < 50; ++i) {
    access.check("10.0.1." + std::to_string(i), basicCredentials("bo", "guess"),
                 onOneName.collector());
  }
  EXPECT_EQ(onOneName.count(401), AccessControl::kFreeFailures);
  // Names that are not listed cost a hash too, so their answers take as long.
  EXPECT_EQ(UserList::hashesComputed() - before, 2U * AccessControl::kFreeFailures);
}

TEST_F(AccessControlTest, WhileStrangersQueueForHashesTheSignedInAreAnsweredAtOnce) {
  AccessControl access(users_, {1, 4});
  ASSERT_EQ(statusOf(access, "10.0.0.1", basicCredentials("ann", "ann's own")), 200);
  Verdicts strangers;
  for (int i = 0; i < 64; ++i) {
    access.check("10.0.2." + std::to_string(i), basicCredentials("guest" + std::to_string(i), "x"),
                 strangers.collector());
    if (i == 32) {
      // Answered on this thread, not behind the queue.
      bool answered = false;
      access.check("10.0.0.1", basicCredentials("ann", "ann's own"),
                   [&answered](AccessControl::Verdict verdict) { answered = verdict.allowed; });
      EXPECT_TRUE(answered);
    }
  }
  const int busy = strangers.count(503);
  EXPECT_GT(busy, 0) << "a full queue turns strangers away";
  EXPECT_EQ(strangers.count(401), 64 - busy);
}

}  // namespace
