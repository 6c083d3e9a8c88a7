#include "DealForm.h"

#include "ui/common/StringUtil.h"
#include "ui/common/UiUtility.h"

namespace vantory {

std::vector<PromptField> DealForm::fields(const std::optional<std::string>& name,
                                          const std::optional<std::string>& description,
                                          const std::optional<std::string>& price) {
  return {{"Item Name", name}, {"Description", description}, {"Price", price, true}};
}

void DealForm::alertBlanks(platform::ViewController& screen,
                           const std::vector<std::optional<std::string>>& texts) {
  if (!StringUtil::isNotBlank(texts.at(0))) {
    UiUtility::showAlert("Alert", "Name can't be Empty", screen);
  }
  if (!StringUtil::isNotBlank(texts.at(2))) {
    UiUtility::showAlert("Alert", "Price can't be Empty", screen);
  }
}

}  // namespace vantory
