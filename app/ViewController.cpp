#include "ViewController.h"

#include "platform/UserDefaults.h"
#include "platform/toolkit/Storyboard.h"
#include "ui/common/StringUtil.h"
#include "ui/common/UiUtility.h"
#include "ui/common/Utility.h"

namespace vantory {

ViewController::ViewController() {
  outlet("firstName", firstName_);
  outlet("lastName", lastName_);
  action("saveSelected:", [this](platform::ModelObject* sender) { saveSelected(sender); });
}

void ViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  UiUtility::setBackgroundPattern(*this);
  if (firstName_ != nullptr) {
    UiUtility::styleTextField("First Name", *firstName_);
  }
  if (lastName_ != nullptr) {
    UiUtility::styleTextField("Last Name", *lastName_);
  }
}

void ViewController::viewDidAppear(bool /*animated*/) {
  if (Utility::getUserDefault(Utility::kUserNameKey)) {
    presentStores();
  }
}

void ViewController::saveSelected(platform::ModelObject* /*sender*/) {
  const auto first = firstName_ != nullptr ? firstName_->text() : std::nullopt;
  if (!StringUtil::isNotBlank(first)) {
    UiUtility::showAlert("Alert", "First Name can't be blank", *this);
    return;
  }
  const auto last = lastName_ != nullptr ? lastName_->text() : std::nullopt;
  if (!StringUtil::isNotBlank(last)) {
    UiUtility::showAlert("Alert", "Last Name can't be blank", *this);
    return;
  }
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  defaults.removeObjectForKey(Utility::kUserNameKey);
  defaults.setObject(*first + " " + *last, Utility::kUserNameKey);
  presentStores();
}

bool ViewController::textFieldShouldReturn(platform::TextField& textField) {
  return textField.resignFirstResponder();
}

void ViewController::presentStores() {
  if (!storyboard()) {
    return;
  }
  if (auto stores = storyboard()->instantiateViewControllerWithIdentifier("naviView")) {
    presentViewController(std::move(stores), true, [] {});
  }
}

}  // namespace vantory
