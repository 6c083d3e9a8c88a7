#pragma once

#include <optional>
#include <string>

#include "platform/toolkit/AlertAction.h"
#include "platform/toolkit/AlertController.h"
#include "platform/toolkit/Color.h"
#include "platform/toolkit/TextField.h"
#include "platform/toolkit/ViewController.h"

namespace vantory {

// Alerts and the look every screen shares. Class-level only.
class UiUtility {
 public:
  UiUtility() = delete;

  // An alert with one "OK" button; shown on a later turn of the main queue.
  static void showAlert(const std::string& title, const std::string& message,
                        platform::ViewController& presenter,
                        platform::AlertAction::Handler handler = {});

  // An alert with a button for each title that is present, first then second.
  static void showAlertWithActions(const std::string& title, const std::string& message,
                                   platform::ViewController& presenter,
                                   const std::optional<std::string>& firstTitle,
                                   platform::AlertAction::Handler firstHandler,
                                   const std::optional<std::string>& secondTitle,
                                   platform::AlertAction::Handler secondHandler);

  // Brown placeholder in 14-point system font, brown border 1 wide, radius 5.
  static void styleTextField(const std::string& placeholder, platform::TextField& textField);

  // The navigation bar's brown (0.6, 0.4, 0.2).
  static platform::Color navigationBarBrown();
  // Bar tint and title colour, when the screen is inside a navigation stack.
  static void styleNavigationBar(platform::ViewController& screen);
  // The root view tiled with "background.jpg" (plain when the image is missing).
  static void setBackgroundPattern(platform::ViewController& screen);

  // Presents the alert over the screen on a later turn of the main queue.
  static void presentLater(platform::ViewController& presenter,
                           std::shared_ptr<platform::AlertController> alert);

  // The alert of a request that failed: "Alert" with the service's own
  // explanation when it refused with one, else "Could not reach the service.
  // Please try again."
  static void showFailure(platform::ViewController& presenter,
                          const std::optional<std::string>& serviceMessage,
                          platform::AlertAction::Handler handler = {});
};

}  // namespace vantory
