#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "platform/toolkit/AlertController.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/NavigationController.h"
#include "support/ConsoleCapture.h"
#include "support/StubUrlSession.h"

namespace testsupport {

// The path the store list is read from, as the scripted service knows it.
inline constexpr char kStoresPath[] = "/kelvane/qx/getListOfStores.php";

// What a label shows; nothing for none.
inline std::optional<std::string> labelText(const platform::Label* label) { return label->text(); }

// The app without a UI toolkit, against a scripted service, with the means
// to act as a user: type, tap, select, go back, and wait until all is done.
class AppHarness {
 public:
  AppHarness();
  ~AppHarness();
  AppHarness(const AppHarness&) = delete;
  AppHarness& operator=(const AppHarness&) = delete;

  // Stores a user name before launch (a returning user).
  void storeUserName(const std::string& name);
  // Talks to a real service at the address instead of the scripted one.
  void useService(const std::string& baseUrl);
  // Starts the application shell and waits until it is idle.
  void launch();

  StubUrlSession& service() { return *service_; }
  ConsoleCapture& console() { return console_; }
  platform::Window& window() { return *delegate_->window(); }

  // Runs the main queue until every reply has been delivered and nothing is
  // left to run. False if that did not happen within the timeout.
  bool settle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // --- what is on screen ---------------------------------------------------
  platform::NavigationController* navigation();
  // The top screen of the navigation stack, as T (nullptr if it is not one).
  template <typename T>
  T* top() {
    platform::NavigationController* stack = navigation();
    return stack != nullptr ? dynamic_cast<T*>(stack->topViewController()) : nullptr;
  }
  // The top of the navigation stack, or the registration screen before it.
  platform::ViewController* topScreen();
  // The alert in front, if one is shown.
  platform::AlertController* alert();
  std::optional<std::string> alertMessage();

  // --- what a user does (each settles afterwards) -----------------------------
  void typeIntoAlertField(std::size_t index, const std::string& text);
  void tapAlertButton(const std::string& title);
  // A button of the top screen's navigation bar, by title.
  void tapBarButton(const std::string& title);
  // A button of the top screen's layout, by title.
  void tapButton(const std::string& title);
  void selectRow(int section, int row);
  void goBack();

 private:
  std::filesystem::path directory_;
  std::shared_ptr<StubUrlSession> service_;
  std::shared_ptr<vantory::AppDelegate> delegate_;
  ConsoleCapture console_;
  std::optional<std::string> savedLocale_;
};

}  // namespace testsupport
