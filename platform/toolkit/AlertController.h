#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AlertAction.h"
#include "TextField.h"
#include "ViewController.h"

namespace platform {

enum class AlertControllerStyle { actionSheet = 0, alert = 1 };

// A modal alert with a title, a message, text fields and buttons. Any button
// closes it; its handler runs afterwards, on the main queue.
class AlertController : public ViewController {
 public:
  static std::shared_ptr<AlertController> alertControllerWithTitle(
      std::optional<std::string> title, std::optional<std::string> message,
      AlertControllerStyle style);

  AlertController(std::optional<std::string> title, std::optional<std::string> message,
                  AlertControllerStyle style);

  const std::optional<std::string>& title() const { return title_; }
  const std::optional<std::string>& message() const { return message_; }
  AlertControllerStyle preferredStyle() const { return style_; }

  // Buttons appear in the order added.
  void addAction(std::shared_ptr<AlertAction> action);
  const std::vector<std::shared_ptr<AlertAction>>& actions() const { return actions_; }

  // The button that confirms (Return): the one set, else the first that does
  // not cancel.
  std::shared_ptr<AlertAction> preferredAction() const;
  void setPreferredAction(std::shared_ptr<AlertAction> action);
  // The button that backs out (Escape): the one titled "Cancel", or the only
  // button; none when the alert cannot be backed out of.
  std::shared_ptr<AlertAction> cancelAction() const;

  // The handler configures the new field before this returns.
  void addTextFieldWithConfigurationHandler(const std::function<void(TextField&)>& handler);
  const std::vector<std::shared_ptr<TextField>>& textFields() const { return textFields_; }

  // What a user does: closes the alert, then queues the button's handler.
  void tapAction(const std::shared_ptr<AlertAction>& action);
  // The same by the button's title; false when there is no such button.
  bool tapButtonWithTitle(const std::string& title);

 private:
  std::optional<std::string> title_;
  std::optional<std::string> message_;
  AlertControllerStyle style_;
  std::vector<std::shared_ptr<AlertAction>> actions_;
  std::shared_ptr<AlertAction> preferred_;
  std::vector<std::shared_ptr<TextField>> textFields_;
};

}  // namespace platform
