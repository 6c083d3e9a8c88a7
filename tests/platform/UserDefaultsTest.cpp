#include "platform/UserDefaults.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

using platform::UserDefaults;

// From the sync counter linked into these tests.
extern "C" std::size_t vantory_syncs_of(const char* path);

namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("vantory-defaults-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::filesystem::path file() const { return directory_ / "nested" / "defaults.json"; }

  std::filesystem::path directory_;
};

TEST_F(UserDefaultsTest, ValuesSurviveANewInstanceAndRemovalIsPersistent) {
  {
    UserDefaults defaults(file());
    EXPECT_FALSE(defaults.objectForKey("Name"));
    defaults.setObject("Ada Lovelace", "Name");
    defaults.setObject(42, "Answer");
  }
  {
    UserDefaults defaults(file());
    ASSERT_TRUE(defaults.objectForKey("Name"));
    EXPECT_EQ(*defaults.objectForKey("Name"), "Ada Lovelace");
    EXPECT_EQ(*defaults.objectForKey("Answer"), 42);
    defaults.removeObjectForKey("Answer");
  }
  UserDefaults defaults(file());
  EXPECT_FALSE(defaults.objectForKey("Answer"));
  EXPECT_TRUE(defaults.objectForKey("Name"));
  // The write went through a temporary file that is gone now.
  EXPECT_FALSE(std::filesystem::exists(file().string() + ".tmp"));
}

TEST_F(UserDefaultsTest, ACorruptFileCountsAsEmptyAndIsKeptAside) {
  std::filesystem::create_directories(file().parent_path());
  for (const std::string& damaged : {std::string("{\"Name\": \"Ad"), std::string("[1, 2]")}) {
    { std::ofstream(file()) << damaged; }
    testing::internal::CaptureStderr();
    UserDefaults defaults(file());
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(defaults.objectForKey("Name"));
    EXPECT_NE(warning.find("could not be read"), std::string::npos) << warning;
    std::ifstream aside(file().string() + ".corrupt");
    std::string kept((std::istreambuf_iterator<char>(aside)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, damaged);

    // The store works normally afterwards.
    defaults.setObject("Grace Hopper", "Name");
    EXPECT_EQ(*UserDefaults(file()).objectForKey("Name"), "Grace Hopper");
  }
}

TEST_F(UserDefaultsTest, StandardInstanceFollowsTheConfiguredPath) {
  UserDefaults::setStandardPath(file());
  UserDefaults::standardUserDefaults().setObject("Someone", "Name");
  EXPECT_EQ(UserDefaults::standardUserDefaults().path(), file());
  EXPECT_EQ(*UserDefaults(file()).objectForKey("Name"), "Someone");
}

}  // namespace

TEST_F(UserDefaultsTest, ASaveReachesTheDiskAndOneCutShortKeepsTheOldFile) {
  UserDefaults defaults(file());
  defaults.setObject("Ada", "Name");
  // The new text is synced before it takes the file's name, then the folder
  // that records the name.
  const std::string temporary = file().string() + ".tmp";
  EXPECT_EQ(vantory_syncs_of(temporary.c_str()), 1U);
  EXPECT_EQ(vantory_syncs_of(file().parent_path().c_str()), 1U);

  // A save cut short (here by a file size limit) leaves the old file whole.
  const auto text = [this] {
    std::ifstream in(file());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string before = text();
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const rlimit small{1024, old.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  testing::internal::CaptureStderr();
  defaults.setObject(std::string(8192, 'x'), "Note");
  const std::string warning = testing::internal::GetCapturedStderr();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(text(), before);
  EXPECT_NE(warning.find("could not save settings"), std::string::npos) << warning;
  EXPECT_FALSE(std::filesystem::exists(temporary));
  EXPECT_EQ(*UserDefaults(file()).objectForKey("Name"), "Ada");
}
