#include "SettingsPrompt.h"

#include "app/Settings.h"
#include "platform/toolkit/AlertController.h"
#include "platform/toolkit/TextField.h"
#include "ui/common/UiUtility.h"

namespace vantory {

using platform::AlertAction;
using platform::AlertActionStyle;
using platform::AlertController;

void SettingsPrompt::present(platform::Window& window, std::optional<std::string> name,
                             std::optional<std::string> address) {
  platform::ViewController* presenter = window.front().screen;
  if (presenter == nullptr) {
    return;
  }
  auto prompt = AlertController::alertControllerWithTitle(
      kTitle, "Your name, then the address of the service.", platform::AlertControllerStyle::alert);
  prompt->addTextFieldWithConfigurationHandler([&name](platform::TextField& field) {
    field.setPlaceholder("First Last");
    field.setText(name ? name : Settings::registeredName());
  });
  prompt->addTextFieldWithConfigurationHandler([&address](platform::TextField& field) {
    field.setPlaceholder("http://127.0.0.1:8080");
    field.setText(address ? *address : Settings::serviceAddress());
  });
  std::weak_ptr<AlertController> weak = prompt;
  prompt->addAction(AlertAction::actionWithTitle(
      "Save", AlertActionStyle::defaultStyle, [weak, &window](AlertAction&) {
        const auto shown = weak.lock();
        if (!shown || shown->textFields().size() < 2) {
          return;
        }
        const std::string typedName = shown->textFields()[0]->text().value_or("");
        const std::string typedAddress = shown->textFields()[1]->text().value_or("");
        const auto refusal = Settings::apply(window, typedName, typedAddress);
        if (refusal && window.front().screen != nullptr) {
          UiUtility::showAlert("Alert", *refusal, *window.front().screen,
                               [&window, typedName, typedAddress](AlertAction&) {
                                 present(window, typedName, typedAddress);
                               });
        }
      }));
  prompt->addAction(AlertAction::actionWithTitle("Cancel", AlertActionStyle::cancel, {}));
  UiUtility::presentLater(*presenter, std::move(prompt));
}

}  // namespace vantory
