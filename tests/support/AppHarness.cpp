#include "AppHarness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "app/VantoryApplication.h"
#include "net/ServerApi.h"
#include "platform/CurlUrlSession.h"
#include "platform/DispatchQueue.h"
#include "platform/UserDefaults.h"
#include "platform/toolkit/Button.h"
#include "platform/toolkit/TableView.h"

namespace testsupport {

namespace {

platform::Button* findButton(platform::View& view, const std::string& title) {
  if (auto* button = dynamic_cast<platform::Button*>(&view); button && button->title() == title) {
    return button;
  }
  for (const auto& subview : view.subviews()) {
    if (auto* found = findButton(*subview, title)) {
      return found;
    }
  }
  return nullptr;
}

platform::TableView* findTable(platform::View& view) {
  if (auto* table = dynamic_cast<platform::TableView*>(&view)) {
    return table;
  }
  for (const auto& subview : view.subviews()) {
    if (auto* found = findTable(*subview)) {
      return found;
    }
  }
  return nullptr;
}

}  // namespace

AppHarness::AppHarness()
    : service_(std::make_shared<StubUrlSession>()),
      delegate_(std::make_shared<vantory::AppDelegate>()) {
  static int counter = 0;
  directory_ = std::filesystem::temp_directory_path() /
               ("vantory-app-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::filesystem::remove_all(directory_);
  platform::UserDefaults::setStandardPath(directory_ / "defaults.json");
  platform::UrlSession::setSharedSession(service_);
  vantory::ServerApi::setBaseAddress("http://service.test");
  if (const char* current = std::getenv("LC_ALL")) {
    savedLocale_ = current;
  }
  ::setenv("LC_ALL", "en_US.UTF-8", 1);  // prices read as dollars
  platform::DispatchQueue::main().drain();
}

AppHarness::~AppHarness() {
  settle(std::chrono::seconds(2));
  delegate_->setWindow(nullptr);
  platform::DispatchQueue::main().drain();
  platform::UrlSession::setSharedSession(nullptr);
  vantory::ServerApi::setBaseAddress(std::string(vantory::ServerApi::defaultBaseAddress));
  savedLocale_ ? ::setenv("LC_ALL", savedLocale_->c_str(), 1) : ::unsetenv("LC_ALL");
  std::filesystem::remove_all(directory_);
}

void AppHarness::storeUserName(const std::string& name) {
  platform::UserDefaults::standardUserDefaults().setObject(name, "Name");
}

void AppHarness::useService(const std::string& baseUrl) {
  vantory::ServerApi::setBaseAddress(baseUrl);
  service_->forwardTo(std::make_shared<platform::CurlUrlSession>());
}

void AppHarness::launch() {
  vantory::VantoryApplication::main(delegate_, {});
  EXPECT_TRUE(settle());
}

bool AppHarness::settle(std::chrono::milliseconds timeout) {
  auto& main = platform::DispatchQueue::main();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const bool idle = service_->idle();  // read first: a delivery queues its work before ending
    if (main.drain() == 0 && idle) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

platform::NavigationController* AppHarness::navigation() {
  platform::ViewController* screen =
      delegate_->window() ? delegate_->window()->rootViewController().get() : nullptr;
  while (screen != nullptr) {
    if (auto* stack = dynamic_cast<platform::NavigationController*>(screen)) {
      return stack;
    }
    screen = screen->presentedViewController();
  }
  return nullptr;
}

platform::ViewController* AppHarness::topScreen() {
  if (platform::NavigationController* stack = navigation()) {
    return stack->topViewController();
  }
  return delegate_->window() ? delegate_->window()->rootViewController().get() : nullptr;
}

platform::AlertController* AppHarness::alert() {
  return dynamic_cast<platform::AlertController*>(window().frontViewController());
}

std::optional<std::string> AppHarness::alertMessage() {
  platform::AlertController* shown = alert();
  return shown != nullptr ? shown->message() : std::nullopt;
}

void AppHarness::typeIntoAlertField(std::size_t index, const std::string& text) {
  platform::AlertController* shown = alert();
  ASSERT_NE(shown, nullptr) << "no alert is shown";
  ASSERT_LT(index, shown->textFields().size());
  shown->textFields()[index]->typeText(text);
}

void AppHarness::tapAlertButton(const std::string& title) {
  platform::AlertController* shown = alert();
  ASSERT_NE(shown, nullptr) << "no alert is shown to tap \"" << title << "\"";
  ASSERT_TRUE(shown->tapButtonWithTitle(title)) << "the alert has no button \"" << title << "\"";
  EXPECT_TRUE(settle());
}

void AppHarness::tapBarButton(const std::string& title) {
  platform::ViewController* screen = topScreen();
  ASSERT_NE(screen, nullptr);
  for (const auto* items : {&screen->navigationItem().rightBarButtonItems(),
                            &screen->navigationItem().leftBarButtonItems()}) {
    for (const auto& item : *items) {
      if (item->title() == title) {
        item->tap();
        EXPECT_TRUE(settle());
        return;
      }
    }
  }
  FAIL() << "no bar button \"" << title << "\" on the top screen";
}

void AppHarness::tapButton(const std::string& title) {
  platform::ViewController* screen = topScreen();
  ASSERT_NE(screen, nullptr);
  platform::Button* button = findButton(screen->view(), title);
  ASSERT_NE(button, nullptr) << "no button \"" << title << "\" on the top screen";
  button->tap();
  EXPECT_TRUE(settle());
}

void AppHarness::selectRow(int section, int row) {
  platform::ViewController* screen = topScreen();
  ASSERT_NE(screen, nullptr);
  platform::TableView* table = findTable(screen->view());
  ASSERT_NE(table, nullptr);
  table->selectRowAtIndexPath({section, row});
  EXPECT_TRUE(settle());
}

void AppHarness::goBack() {
  platform::NavigationController* stack = navigation();
  ASSERT_NE(stack, nullptr);
  ASSERT_TRUE(stack->popViewControllerAnimated(true)) << "nothing to go back from";
  EXPECT_TRUE(settle());
}

}  // namespace testsupport
