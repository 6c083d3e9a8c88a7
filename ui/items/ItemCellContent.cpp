#include "ItemCellContent.h"

#include <chrono>

#include "net/RecordKeys.h"
#include "platform/DispatchQueue.h"
#include "platform/toolkit/Label.h"
#include "ui/common/Currency.h"
#include "ui/common/RecordText.h"

namespace vantory {

namespace {
void setLabel(platform::TableViewCell& cell, int tag, std::optional<std::string> text) {
  if (auto* label = dynamic_cast<platform::Label*>(cell.viewWithTag(tag))) {
    label->setText(std::move(text));
  }
}
}  // namespace

void ItemCellContent::fill(platform::TableViewCell& cell, const nlohmann::json& item) {
  setLabel(cell, 1, RecordText::text(item, key::name));
  setLabel(cell, 2, RecordText::text(item, key::description));
  const auto price = RecordText::text(item, key::price);
  setLabel(cell, 3, price ? Currency::formatPrice(*price) : std::nullopt);
}

void ItemCellContent::prepare() {
  // A turn of its own, after the one that sent the request and drew the
  // screen: the first price formatted can cost a frame.
  platform::DispatchQueue::main().asyncAfter(std::chrono::milliseconds(0),
                                             [] { Currency::prepare(); });
}

}  // namespace vantory
