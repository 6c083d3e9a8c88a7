#include "AlertController.h"

#include "platform/DispatchQueue.h"

namespace platform {

std::shared_ptr<AlertController> AlertController::alertControllerWithTitle(
    std::optional<std::string> title, std::optional<std::string> message,
    AlertControllerStyle style) {
  return std::make_shared<AlertController>(std::move(title), std::move(message), style);
}

AlertController::AlertController(std::optional<std::string> title,
                                 std::optional<std::string> message, AlertControllerStyle style)
    : title_(std::move(title)), message_(std::move(message)), style_(style) {}

void AlertController::addAction(std::shared_ptr<AlertAction> action) {
  if (action) {
    actions_.push_back(std::move(action));
    notifyChanged();
  }
}

std::shared_ptr<AlertAction> AlertController::preferredAction() const {
  if (preferred_) {
    return preferred_;
  }
  auto cancel = cancelAction();
  for (const auto& action : actions_) {
    if (action != cancel) {
      return action;
    }
  }
  return cancel;
}

void AlertController::setPreferredAction(std::shared_ptr<AlertAction> action) {
  preferred_ = std::move(action);
  notifyChanged();
}

std::shared_ptr<AlertAction> AlertController::cancelAction() const {
  for (const auto& action : actions_) {
    if (action->title() == "Cancel") {
      return action;
    }
  }
  return actions_.size() == 1 ? actions_.front() : nullptr;
}

void AlertController::addTextFieldWithConfigurationHandler(
    const std::function<void(TextField&)>& handler) {
  auto field = std::make_shared<TextField>();
  if (handler) {
    handler(*field);
  }
  textFields_.push_back(field);
  view().addSubview(field);
  notifyChanged();
}

void AlertController::tapAction(const std::shared_ptr<AlertAction>& action) {
  if (!action) {
    return;
  }
  auto self = sharedThis<AlertController>();
  dismissViewControllerAnimated(true);
  if (action->handler()) {
    // The alert stays alive until the handler has read its fields.
    DispatchQueue::main().async([self, action] { action->handler()(*action); });
  }
}

bool AlertController::tapButtonWithTitle(const std::string& title) {
  for (const auto& action : actions_) {
    if (action->title() == title) {
      tapAction(action);
      return true;
    }
  }
  return false;
}

}  // namespace platform
