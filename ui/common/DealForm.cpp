#include "DealForm.h"

#include "net/RecordKeys.h"
#include "ui/common/RecordText.h"
#include "ui/common/StringUtil.h"
#include "ui/common/UiUtility.h"

namespace vantory {

std::vector<PromptField> DealForm::fields(const std::optional<nlohmann::json>& deal) {
  const auto initial = [&deal](const char* key) -> std::optional<std::string> {
    if (!deal) {
      return std::nullopt;
    }
    return RecordText::text(*deal, key).value_or("");
  };
  return {{"Item Name", initial(key::name)},
          {"Description", initial(key::description)},
          {"Price", initial(key::price), true}};
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
