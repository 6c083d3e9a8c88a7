#include "AlertElement.h"

#include "frontend/web/Dom.h"
#include "platform/toolkit/AlertAction.h"

namespace vantory::web {

using emscripten::val;

AlertElement::AlertElement(std::shared_ptr<platform::AlertController> alert)
    : alert_(std::move(alert)), scrim_(Dom::create("div", "scrim")) {
  val dialog = Dom::create("div", "dialog");
  dialog.call<void>("setAttribute", std::string("role"), std::string("dialog"));
  dialog.call<void>("setAttribute", std::string("aria-modal"), std::string("true"));
  dialog.call<void>("setAttribute", std::string("aria-labelledby"), std::string("alert-title"));
  val title = Dom::create("h2");
  title.set("id", std::string("alert-title"));
  Dom::setText(title, alert_->title());
  dialog.call<void>("append", title);
  if (alert_->message() && !alert_->message()->empty()) {
    val message = Dom::create("p", "message");
    Dom::setText(message, alert_->message());
    dialog.call<void>("append", message);
  }
  for (const auto& field : alert_->textFields()) {
    fields_.push_back(
        std::make_unique<TextFieldElement>(field, [this] { tap(alert_->preferredAction()); }));
    dialog.call<void>("append", fields_.back()->element());
  }
  val buttons = Dom::create("div", "buttons");
  const auto cancel = alert_->cancelAction();
  const auto preferred = alert_->preferredAction();
  for (const auto& action : alert_->actions()) {
    std::weak_ptr<platform::AlertAction> weak = action;
    val button = actions_.button({}, [this, weak] {
      if (auto tapped = weak.lock()) {
        tap(tapped);
      }
    });
    Dom::setText(button, action->title());
    if (action == cancel) {
      button.call<void>("setAttribute", std::string("data-cancel"), std::string(""));
    }
    if (action == preferred) {
      button["classList"].call<void>("add", std::string("preferred"));
    }
    if (action == preferred || preferred_.isNull()) {
      preferred_ = button;  // the focus's button: the preferred one, else the first
    }
    buttons.call<void>("append", button);
  }
  dialog.call<void>("append", buttons);
  scrim_.call<void>("append", dialog);
  update();
}

void AlertElement::tap(const std::shared_ptr<platform::AlertAction>& action) {
  if (action && alert_->presentingViewController() != nullptr) {
    alert_->tapAction(action);
  }
}

void AlertElement::update() {
  for (const auto& field : fields_) {
    field->update();
  }
}

void AlertElement::focus() {
  if (!fields_.empty()) {
    fields_.front()->input().call<void>("focus");
  } else if (!preferred_.isNull()) {
    preferred_.call<void>("focus");
  }
}

}  // namespace vantory::web
