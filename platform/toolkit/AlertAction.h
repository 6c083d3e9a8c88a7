#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ModelObject.h"

namespace platform {

enum class AlertActionStyle { defaultStyle = 0, cancel = 1, destructive = 2 };

// A button of an alert.
class AlertAction : public ModelObject {
 public:
  using Handler = std::function<void(AlertAction& action)>;

  static std::shared_ptr<AlertAction> actionWithTitle(std::string title, AlertActionStyle style,
                                                      Handler handler);

  AlertAction(std::string title, AlertActionStyle style, Handler handler)
      : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}

  const std::string& title() const { return title_; }
  AlertActionStyle style() const { return style_; }
  const Handler& handler() const { return handler_; }

 private:
  std::string title_;
  AlertActionStyle style_;
  Handler handler_;
};

}  // namespace platform
