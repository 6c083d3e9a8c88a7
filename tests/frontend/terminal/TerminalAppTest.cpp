// vantory-tui in a real terminal (tmux) against a real vantory-server: what a
// person types and what the screen then shows.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "service/HttpClient.h"
#include "support/RecordingHttpServer.h"
#include "support/ServerProcess.h"
#include "support/TmuxSession.h"
#include "support/WaitUntil.h"

using testsupport::TmuxSession;

namespace {

class TerminalAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxSession::available()) {
      GTEST_SKIP() << "tmux is not installed";
    }
    directory_ = std::filesystem::temp_directory_path() /
                 ("vantory-tui-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    server_ = std::make_unique<testsupport::ServerProcess>(directory_ / "vantory.db");
    ASSERT_TRUE(server_->start());
  }
  void TearDown() override {
    terminal_.reset();
    server_.reset();
    std::filesystem::remove_all(directory_);
  }

  // The app in a terminal of the size, pointed at the service.
  void open(int columns = 80, int rows = 24, const std::string& service = "") {
    terminal_ = std::make_unique<TmuxSession>(
        "env LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 TERM=screen-256color " +
            std::string(VANTORY_TUI_BINARY) + " --service " +
            (service.empty() ? server_->baseUrl() : service) + " --defaults " +
            (directory_ / "defaults.json").string() + " --console-log " +
            (directory_ / "console.log").string(),
        columns, rows);
  }
  void registerAs(const std::string& first, const std::string& last) {
    ASSERT_TRUE(terminal_->waitFor("First Name")) << terminal_->screen();
    terminal_->type(first);
    terminal_->press({"Tab"});
    terminal_->type(last);
    terminal_->press({"Enter", "Enter"});  // out of the field, then Save
    ASSERT_TRUE(terminal_->waitFor("Stores")) << terminal_->screen();
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> rows;
    std::istringstream text(terminal_->screen());
    for (std::string line; std::getline(text, line);) {
      rows.push_back(line);
    }
    return rows;
  }
  // Waits for the text and says what the screen showed when it did not come.
  void expectScreen(const std::string& text) {
    EXPECT_TRUE(terminal_->waitFor(text)) << "expected \"" << text << "\" on\n"
                                          << terminal_->screen();
  }

  std::filesystem::path directory_;
  std::unique_ptr<testsupport::ServerProcess> server_;
  std::unique_ptr<TmuxSession> terminal_;
};

TEST_F(TerminalAppTest, APersonUsesEveryScreenWithTheKeyboard) {
  open();
  expectScreen("Welcome to Vantory");
  registerAs("Ann", "Lee");
  expectScreen("You Dont have any Stores.");
  expectScreen("a Add");

  // A store, with characters outside ASCII.
  terminal_->press({"a"});
  expectScreen("Add Store");
  expectScreen("Store Name");
  // Backspace takes back a whole "é", not half of it.
  terminal_->type("Caf\xC3\xA9\xC3\xA9");
  terminal_->press({"BSpace"});
  terminal_->type(" & Co");
  terminal_->press({"Enter"});
  expectScreen(" Caf\xC3\xA9 & Co ");
  EXPECT_TRUE(terminal_->waitForAbsence("You Dont have any Stores."));

  // Its deals: open it, add one.
  terminal_->press({"Enter"});
  expectScreen("Store added by Ann Lee");
  expectScreen("\xE2\x80\xB9 Back");
  terminal_->press({"a"});
  expectScreen("Add Item");
  terminal_->type("Oat milk");
  terminal_->press({"Tab"});
  terminal_->type("Two for one");
  terminal_->press({"Tab"});
  terminal_->type("2,50");
  terminal_->press({"Enter"});
  expectScreen("Oat milk");
  expectScreen("$2.50");
  expectScreen("Two for one");

  // The deal: interest, then a purchase.
  terminal_->press({"Enter"});
  expectScreen("Deal posted by Ann Lee");
  expectScreen("Total: 0");
  expectScreen("i I'm Interested");
  terminal_->press({"i"});
  expectScreen("You Interested?");
  terminal_->type("2");
  terminal_->press({"Enter"});
  expectScreen("Total: 2");
  expectScreen("Needed: 2");
  EXPECT_TRUE(terminal_->waitForAbsence("No one is Interested as of now."));
  expectScreen("Ann Lee");
  // One's own interest can be taken back with Delete, after a question.
  expectScreen("Del Withdraw");
  terminal_->press({"DC"});
  expectScreen("Take back your interest of 2?");
  terminal_->press({"Escape"});
  EXPECT_TRUE(terminal_->waitForAbsence("Take back your interest of 2?"));
  terminal_->press({"p"});
  expectScreen("Purchases");
  expectScreen("No one Bought as of now.");
  terminal_->press({"i"});
  expectScreen("Bought this Item?");
  terminal_->press({"Enter"});  // "Proceed", the alert's preferred button
  expectScreen("How many did you Buy?");
  terminal_->type("1");
  terminal_->press({"Enter"});
  expectScreen("Bought: 1");
  expectScreen("Needed: 1");

  // Back to the deal, and an edit.
  terminal_->press({"Escape"});
  expectScreen("e Edit");
  terminal_->press({"e"});
  expectScreen("Add Item");
  terminal_->press(
      {"BSpace", "BSpace", "BSpace", "BSpace", "BSpace", "BSpace", "BSpace", "BSpace"});
  terminal_->type("Soy milk");
  terminal_->press({"Enter"});
  expectScreen("Soy milk");

  // Search from the stores.
  terminal_->press({"Escape"});
  expectScreen("Store added by Ann Lee");
  terminal_->press({"Escape"});
  expectScreen("s Search");
  terminal_->press({"s"});
  expectScreen("Search Text");
  terminal_->type("soy");
  terminal_->press({"Enter"});
  expectScreen("Search Results");
  expectScreen("Soy milk");
  const std::string results = terminal_->screen();
  EXPECT_LT(results.find("Caf\xC3\xA9 & Co"), results.find("Soy milk")) << "header, then deal";
  terminal_->press({"Enter"});
  expectScreen("Total: 2");
  // Someone else's interest shows on the open deal with no key pressed.
  const auto other = testsupport::HttpClient(server_->port())
                         .request("POST", "/kelvane/qx/addInterested.php",
                                  R"(interested={"itemId":"1","name":"Bo Kim","qty":"3"})");
  ASSERT_TRUE(other && other->status == 200);
  expectScreen("Total: 5");
  expectScreen("Bo Kim");
  terminal_->press({"q"});
}

TEST_F(TerminalAppTest, AlertsSayWhatIsWrong) {
  open();
  registerAs("Ann", "Lee");
  terminal_->press({"a"});
  expectScreen("Add Store");
  terminal_->type("   ");
  terminal_->press({"Enter"});
  expectScreen("Name can't be Empty");
  terminal_->press({"Enter"});
  EXPECT_TRUE(terminal_->waitForAbsence("Name can't be Empty"));
  terminal_->press({"a"});
  terminal_->type("Kept back");
  terminal_->press({"Escape"});
  EXPECT_TRUE(terminal_->waitForAbsence("Add Store"));
  EXPECT_TRUE(terminal_->waitFor("You Dont have any Stores.")) << "Escape sent nothing";
  // Return on a focused "Cancel" cancels too (Tab: "Save", then "Cancel"). A
  // store added after it shows whatever was sent before.
  terminal_->press({"a"});
  expectScreen("Add Store");
  terminal_->type("Kept back");
  terminal_->press({"Tab", "Tab", "Enter"});
  EXPECT_TRUE(terminal_->waitForAbsence("Add Store"));
  terminal_->press({"a"});
  expectScreen("Add Store");
  terminal_->type("Added");
  terminal_->press({"Enter"});
  expectScreen(" Added ");
  EXPECT_EQ(terminal_->screen().find("Kept back"), std::string::npos) << terminal_->screen();

  // No service at start: said, not an empty list.
  terminal_.reset();
  open(80, 24, "http://127.0.0.1:" + std::to_string(testsupport::unusedLoopbackPort()));
  expectScreen("Could not reach the service. Please try again.");
}

TEST_F(TerminalAppTest, ResizingRedrawsAndALongNameEndsInAnEllipsis) {
  const std::string longName(200, 'W');
  std::string wideName;  // 100 characters, 200 cells
  for (int i = 0; i < 100; ++i) {
    wideName += "\xE5\xBA\x97";  // 店
  }
  for (const std::string& name : {longName, wideName}) {
    testsupport::HttpClient(server_->port())
        .request("POST", "/kelvane/qx/addStore.php",
                 R"(store={"name":")" + name + R"(","created":"Bo"})");
  }
  open(80, 24);
  registerAs("Ann", "Lee");
  expectScreen("WWWW\xE2\x80\xA6 \xE2\x80\xBA");  // cut, then the chevron
  for (const std::string& line : lines()) {
    EXPECT_EQ(line.find(longName), std::string::npos) << "the whole name does not fit 80 cells";
  }
  // Wide characters are cut by the cells they take: the row ends in "…" and
  // its chevron, on one line.
  std::vector<std::string> wideRows;
  for (const std::string& line : lines()) {
    if (line.find("\xE5\xBA\x97") != std::string::npos) {
      wideRows.push_back(line);
    }
  }
  ASSERT_EQ(wideRows.size(), 1U) << terminal_->screen();
  EXPECT_NE(wideRows[0].find("\xE5\xBA\x97\xE2\x80\xA6"), std::string::npos) << wideRows[0];
  EXPECT_NE(wideRows[0].find("\xE2\x80\xBA"), std::string::npos) << wideRows[0];

  terminal_->resize(50, 16);
  ASSERT_TRUE(terminal_->waitFor("q Quit"));
  const auto rows = lines();
  ASSERT_EQ(rows.size(), 16U) << terminal_->screen();
  EXPECT_NE(rows[0].find("Stores"), std::string::npos) << "the bar on the top line";
  EXPECT_NE(rows[15].find("q Quit"), std::string::npos) << "the hints on the last line";
  for (std::size_t row = 1; row < 15; ++row) {
    EXPECT_EQ(rows[row].find("Quit"), std::string::npos) << "no old hint line left at " << row;
  }
  EXPECT_NE(rows[1].find("WWW\xE2\x80\xA6 \xE2\x80\xBA"), std::string::npos) << rows[1];
  EXPECT_NE(rows[15].find("Tab Next  \xE2\x80\xA6  q Quit"), std::string::npos)
      << "whole hints, then an ellipsis for those that do not fit: " << rows[15];

  // Colours, where the terminal has them: the bar's brown title.
  const std::string drawn = terminal_->screen(true);
  EXPECT_NE(drawn.find("38;5;137m"), std::string::npos) << "brown, in 256 colours: " << drawn;
  EXPECT_NE(drawn.find("38;5;196m"), std::string::npos) << "the red chevrons: " << drawn;
}

}  // namespace

namespace {

// A person who mistyped their name changes it, and the service address,
// from any screen; what cannot be used is refused and given back as typed.
TEST_F(TerminalAppTest, SettingsChangeTheNameAndTheServiceAndRefuseWhatCannotBeUsed) {
  open();
  registerAs("Ann", "Leee");
  expectScreen("F2 Settings");
  terminal_->press({"F2"});
  expectScreen("Your name, then the address of the service.");
  expectScreen("[ Ann Leee ");
  expectScreen("[ " + server_->baseUrl() + " ");
  terminal_->press({"BSpace"});
  terminal_->press({"Tab"});
  for (int i = 0; i < 60; ++i) {
    terminal_->press({"BSpace"});
  }
  terminal_->type("ftp://nowhere");
  terminal_->press({"Enter"});
  expectScreen("The service address must be an http:// or https:// address");
  terminal_->press({"Enter"});
  expectScreen("[ ftp://nowhere ");
  expectScreen("[ Ann Lee ");
  terminal_->press({"Tab"});
  for (int i = 0; i < 13; ++i) {
    terminal_->press({"BSpace"});
  }
  terminal_->type(server_->baseUrl());
  terminal_->press({"Enter"});
  EXPECT_TRUE(terminal_->waitForAbsence("Your name, then")) << terminal_->screen();
  std::string defaults;
  for (int i = 0; i < 200 && defaults.find("\"Ann Lee\"") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream stored(directory_ / "defaults.json");
    defaults.assign(std::istreambuf_iterator<char>(stored), {});
  }
  EXPECT_NE(defaults.find("\"Ann Lee\""), std::string::npos) << defaults;
  EXPECT_NE(defaults.find(server_->baseUrl()), std::string::npos) << defaults;

  // Cancel keeps what is stored.
  terminal_->press({"F2"});
  expectScreen("Your name, then the address of the service.");
  terminal_->type("x");
  terminal_->press({"Escape"});
  EXPECT_TRUE(terminal_->waitForAbsence("Your name, then"));
  terminal_->press({"F2"});
  expectScreen("[ Ann Lee ");
}

// Down the store list, a person opens a store and comes back, or refreshes:
// the screen is as they left it, and Return opens the row marked.
TEST_F(TerminalAppTest, BackAndRefreshKeepThePlaceInTheList) {
  ASSERT_TRUE(testsupport::addShops(server_->port(), 40));
  open();
  registerAs("Ann", "Lee");
  expectScreen("Shop 01");
  for (int i = 0; i < 25; ++i) {
    terminal_->press({"Down"});
  }
  expectScreen("Shop 26");
  // The screen once it has stopped changing, and the row drawn in reverse.
  const auto settled = [this] {
    std::string last;
    for (int i = 0; i < 100; ++i) {
      std::string now = terminal_->screen();
      if (now == last) {
        break;
      }
      last = std::move(now);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string drawn = terminal_->screen(true);
    const auto reverse = drawn.find("\x1B[7m");
    if (reverse == std::string::npos) {
      return last + "marked: nothing";
    }
    const std::string marked =
        std::regex_replace(drawn.substr(reverse, drawn.find('\n', reverse) - reverse),
                           std::regex("\x1B\\[[0-9;]*m"), "");
    return last + "marked:" + marked;
  };
  const std::string before = settled();
  EXPECT_NE(before.find("marked: Shop 26"), std::string::npos) << before;

  terminal_->press({"Enter"});
  expectScreen("Store added by Bo");
  terminal_->press({"Escape"});
  expectScreen("Shop 26");
  EXPECT_TRUE(terminal_->waitForAbsence("Store added by"));
  EXPECT_EQ(settled(), before) << "back where the person left";

  terminal_->press({"r"});
  EXPECT_EQ(settled(), before) << "a refresh moves nothing";
  terminal_->press({"Enter"});
  expectScreen("Shop 26");
  expectScreen("Store added by Bo");

  // Page Down moves the mark down the list, Page Up back up.
  terminal_->press({"Escape"});
  EXPECT_TRUE(terminal_->waitForAbsence("Store added by"));
  const auto markedShop = [&settled] {
    const std::string now = settled();
    std::smatch found;
    const std::string marked = now.substr(now.rfind("marked:"));
    return std::regex_search(marked, found, std::regex("Shop ([0-9]+)")) ? std::stoi(found[1]) : 0;
  };
  int marked = 26;
  terminal_->press({"NPage"});
  EXPECT_TRUE(testsupport::waitUntil([&] { return (marked = markedShop()) != 26; }));
  EXPECT_GT(marked, 26);
  terminal_->press({"PPage", "PPage"});
  EXPECT_TRUE(testsupport::waitUntil([&] { return (marked = markedShop()) < 26; }));
  EXPECT_GT(marked, 0);
}

}  // namespace
