#include "UiUtility.h"

#include "platform/DispatchQueue.h"
#include "platform/toolkit/AlertController.h"
#include "platform/toolkit/NavigationController.h"

namespace vantory {

using platform::AlertAction;
using platform::AlertActionStyle;
using platform::AlertController;
using platform::AlertControllerStyle;

void UiUtility::presentLater(platform::ViewController& presenter,
                             std::shared_ptr<AlertController> alert) {
  platform::DispatchQueue::main().async(
      [presenter = presenter.shared_from_this(), alert = std::move(alert)] {
        presenter->presentViewController(alert, true);
      });
}

void UiUtility::showAlert(const std::string& title, const std::string& message,
                          platform::ViewController& presenter, AlertAction::Handler handler) {
  auto alert =
      AlertController::alertControllerWithTitle(title, message, AlertControllerStyle::alert);
  alert->addAction(
      AlertAction::actionWithTitle("OK", AlertActionStyle::defaultStyle, std::move(handler)));
  presentLater(presenter, std::move(alert));
}

void UiUtility::showAlertWithActions(const std::string& title, const std::string& message,
                                     platform::ViewController& presenter,
                                     const std::optional<std::string>& firstTitle,
                                     AlertAction::Handler firstHandler,
                                     const std::optional<std::string>& secondTitle,
                                     AlertAction::Handler secondHandler) {
  auto alert =
      AlertController::alertControllerWithTitle(title, message, AlertControllerStyle::alert);
  if (firstTitle) {
    alert->addAction(AlertAction::actionWithTitle(*firstTitle, AlertActionStyle::defaultStyle,
                                                  std::move(firstHandler)));
  }
  if (secondTitle) {
    alert->addAction(AlertAction::actionWithTitle(*secondTitle, AlertActionStyle::defaultStyle,
                                                  std::move(secondHandler)));
  }
  presentLater(presenter, std::move(alert));
}

void UiUtility::styleTextField(const std::string& placeholder, platform::TextField& textField) {
  textField.setAttributedPlaceholder(
      {placeholder, {platform::Color::brownColor(), platform::Font::systemFontOfSize(14.0)}});
  textField.setBorderColor(platform::Color::brownColor());
  textField.setBorderWidth(1.0);
  textField.setCornerRadius(5.0);
}

platform::Color UiUtility::navigationBarBrown() {
  return platform::Color::rgba(0.6, 0.4, 0.2, 1.0);
}

void UiUtility::styleNavigationBar(platform::ViewController& screen) {
  platform::NavigationController* navigation = screen.navigationController();
  if (navigation == nullptr) {
    return;
  }
  navigation->navigationBar().setTintColor(navigationBarBrown());
  navigation->navigationBar().setTitleTextAttributes({navigationBarBrown(), std::nullopt});
}

void UiUtility::setBackgroundPattern(platform::ViewController& screen) {
  if (const auto image = platform::Image::imageNamed("background.jpg")) {
    screen.view().setBackgroundColor(platform::Color::withPatternImage(*image));
  }
}

void UiUtility::showFailure(platform::ViewController& presenter,
                            const std::optional<std::string>& serviceMessage,
                            AlertAction::Handler handler) {
  showAlert("Alert", serviceMessage.value_or("Could not reach the service. Please try again."),
            presenter, std::move(handler));
}

}  // namespace vantory
