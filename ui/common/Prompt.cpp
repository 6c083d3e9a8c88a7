#include "Prompt.h"

#include "platform/toolkit/AlertController.h"
#include "ui/common/UiUtility.h"

namespace vantory {

using namespace platform;

void Prompt::show(ViewController& presenter, const std::string& title,
                  const std::vector<PromptField>& fields, const std::string& confirmTitle,
                  Confirm onConfirm, std::optional<OtherAction> other) {
  auto alert = AlertController::alertControllerWithTitle(title, "", AlertControllerStyle::alert);
  // The alert owns its buttons, so the confirming one refers to it weakly.
  std::weak_ptr<AlertController> weakAlert = alert;
  auto confirm = AlertAction::actionWithTitle(
      confirmTitle, AlertActionStyle::defaultStyle,
      [weakAlert, onConfirm = std::move(onConfirm)](AlertAction& /*action*/) {
        const auto shown = weakAlert.lock();
        if (!shown) {
          return;
        }
        std::vector<std::optional<std::string>> texts;
        for (const auto& field : shown->textFields()) {
          texts.push_back(field->text());
        }
        onConfirm(texts);
      });
  auto cancel = AlertAction::actionWithTitle("Cancel", AlertActionStyle::defaultStyle, {});

  for (const PromptField& spec : fields) {
    alert->addTextFieldWithConfigurationHandler([&spec](TextField& field) {
      field.setPlaceholder(spec.placeholder);
      field.setTextAlignment(TextAlignment::center);
      field.setAutocapitalizationType(AutocapitalizationType::words);
      field.setKeyboardAppearance(KeyboardAppearance::dark);
      field.setReturnKeyType(ReturnKeyType::done);
      if (spec.numbersAndPunctuation) {
        field.setKeyboardType(KeyboardType::numbersAndPunctuation);
      }
      if (spec.initialText) {
        field.setText(spec.initialText);
      }
    });
  }
  alert->addAction(confirm);
  if (other) {
    alert->addAction(AlertAction::actionWithTitle(
        other->title, AlertActionStyle::destructive,
        [handler = std::move(other->handler)](AlertAction& /*action*/) { handler(); }));
  }
  alert->addAction(cancel);
  alert->setPreferredAction(confirm);
  UiUtility::presentLater(presenter, std::move(alert));
}

}  // namespace vantory
