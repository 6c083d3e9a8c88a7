#include "ItemDetailViewController.h"

#include <charconv>

#include "net/RecordKeys.h"
#include "net/ServerApi.h"
#include "platform/Console.h"
#include "platform/DispatchQueue.h"
#include "ui/common/Currency.h"
#include "ui/common/Prompt.h"
#include "ui/common/RecordText.h"
#include "ui/common/StringUtil.h"
#include "ui/common/UiUtility.h"
#include "ui/common/Utility.h"

namespace vantory {

namespace {

// Wide enough for the difference of any two 64-bit counters.
__extension__ using WideInt = __int128;

std::optional<std::int64_t> readWholeNumber(const std::string& text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  // Read the magnitude with the sign attached so that the most negative
  // value still fits.
  const std::string signedDigits = (negative ? "-" : "") + std::string(digits);
  std::int64_t value = 0;
  const auto [end, error] =
      std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
  if (error != std::errc() || end != signedDigits.data() + signedDigits.size()) {
    return std::nullopt;
  }
  return value;
}

std::string toText(WideInt value) {
  if (value == 0) {
    return "0";
  }
  const bool negative = value < 0;
  std::string text;
  while (value != 0) {
    const int digit = static_cast<int>(value % 10);
    text.insert(text.begin(), static_cast<char>('0' + (negative ? -digit : digit)));
    value /= 10;
  }
  return negative ? "-" + text : text;
}

std::optional<std::string> prefixed(const char* prefix, const std::optional<std::string>& text) {
  if (!text) {
    return std::nullopt;
  }
  return prefix + *text;
}

}  // namespace

ItemDetailViewController::ItemDetailViewController(ListScreenValues values, Reread reread,
                                                   Corrections corrections)
    : ListViewController(std::move(values)), reread_(reread), corrections_(std::move(corrections)) {
  outlet("refreshButton", refreshButton_);
  outlet("itemName", itemName_);
  outlet("descriptionLabel", descriptionLabel_);
  outlet("priceLabel", priceLabel_);
  outlet("postedBy", postedBy_);
  outlet("totalLabel", totalLabel_);
  outlet("boughtLabel", boughtLabel_);
  outlet("neededLabel", neededLabel_);
  action("refreshSelected:", [this](platform::ModelObject* sender) { refreshSelected(sender); });
}

std::optional<std::string> ItemDetailViewController::neededCount(const std::string& interested,
                                                                 const std::string& bought) {
  const auto wanted = readWholeNumber(interested);
  const auto got = readWholeNumber(bought);
  if (!wanted || !got) {
    return std::nullopt;
  }
  return toText(static_cast<WideInt>(*wanted) - static_cast<WideInt>(*got));
}

void ItemDetailViewController::setUpScreen() {
  item_ = itemInfo_ ? Utility::convertToDictionary(*itemInfo_) : std::nullopt;
  if (item_) {
    fillItemTexts();
    fillPoster();
    fillCounters();
  }
  placeBarButtons();
}

std::optional<std::string> ItemDetailViewController::itemId() const {
  return item_ ? RecordText::text(*item_, key::id) : std::nullopt;
}

void ItemDetailViewController::fillItemTexts() {
  if (itemName_ != nullptr) {
    itemName_->setText(RecordText::text(*item_, key::name));
  }
  if (descriptionLabel_ != nullptr) {
    descriptionLabel_->setText(RecordText::text(*item_, key::description));
  }
  if (priceLabel_ != nullptr) {
    const auto price = RecordText::text(*item_, key::price);
    priceLabel_->setText(price ? Currency::formatPrice(*price) : std::nullopt);
  }
}

void ItemDetailViewController::fillPoster() {
  if (postedBy_ != nullptr) {
    postedBy_->setText(prefixed("Deal posted by ", RecordText::text(*item_, key::postedBy)));
  }
}

void ItemDetailViewController::fillCounters() {
  const auto interested = RecordText::text(*item_, key::interested);
  const auto bought = RecordText::text(*item_, key::bought);
  if (totalLabel_ != nullptr) {
    totalLabel_->setText(prefixed("Total: ", interested));
  }
  if (boughtLabel_ != nullptr) {
    boughtLabel_->setText(prefixed("Bought: ", bought));
  }
  if (neededLabel_ != nullptr) {
    const auto needed =
        interested && bought ? neededCount(*interested, *bought) : std::optional<std::string>();
    neededLabel_->setText(prefixed("Needed: ", needed));
  }
}

void ItemDetailViewController::refreshSelected(platform::ModelObject* /*sender*/) { refresh(); }

bool ItemDetailViewController::isConcernedBy(const Change& change) const {
  // The deal itself, who wants it and who bought it.
  return (change.isAbout("deal") || change.isAbout("interest") || change.isAbout("purchase")) &&
         itemId() == change.itemId;
}

std::optional<std::string> ItemDetailViewController::listParameter() {
  const auto id = itemId();
  if (!id) {
    return std::nullopt;
  }
  // getInterested, getBought and getItemById all take "item_id=".
  return ServerApi::parameterText(ServerApi::getItemById, *id);
}

void ItemDetailViewController::listShown() { refreshItemInfo(); }

void ItemDetailViewController::refreshItemInfo() {
  const auto parameter = listParameter();
  if (!parameter) {
    return;
  }
  fetch(
      ServerApi::getItemById, *parameter,
      [self = sharedThis<ItemDetailViewController>()](const std::optional<nlohmann::json>& reply) {
        self->processItemInfoWithResponse(reply);
      });
}

void ItemDetailViewController::processItemInfoWithResponse(
    const std::optional<nlohmann::json>& reply) {
  platform::Console::print(RecordText::describe(reply));
  std::optional<nlohmann::json> record;
  if (reply && reply->is_object()) {
    const auto items = reply->find(std::string(ServerApi::getItemById.replyKey));
    if (items != reply->end() && items->is_array() && !items->empty() &&
        items->front().is_object()) {
      record = items->front();
    }
  }
  platform::DispatchQueue::main().async(
      [self = sharedThis<ItemDetailViewController>(), record = std::move(record)] {
        self->hideActivity();
        if (!record) {
          return;  // keep the deal as last shown: the next refresh still needs its id
        }
        self->item_ = record;
        if (self->reread_ == Reread::itemAndCounters) {
          self->fillItemTexts();
        }
        self->fillCounters();
      });
}

void ItemDetailViewController::fillCell(platform::TableViewCell& cell,
                                        const nlohmann::json& record) {
  if (platform::Label* label = cell.textLabel()) {
    label->setText(RecordText::text(record, key::name));
  }
  if (platform::Label* label = cell.detailTextLabel()) {
    label->setText(RecordText::text(record, key::qty));
  }
}

std::optional<nlohmann::json> ItemDetailViewController::ownRecordAt(
    platform::IndexPath indexPath) const {
  std::optional<nlohmann::json> record = recordAt(indexPath);
  const std::optional<std::string> userName = Utility::storedUserName();
  // A service that does not give ids takes no corrections.
  if (!record || !userName || RecordText::text(*record, key::name) != userName ||
      !RecordText::text(*record, key::id)) {
    return std::nullopt;
  }
  return record;
}

void ItemDetailViewController::didSelectRowAtIndexPath(platform::TableView& /*tableView*/,
                                                       platform::IndexPath indexPath) {
  if (const std::optional<nlohmann::json> record = ownRecordAt(indexPath)) {
    showCorrectionPrompt(*RecordText::text(*record, key::id), RecordText::text(*record, key::qty));
  }
}

bool ItemDetailViewController::canDeleteRowAtIndexPath(platform::TableView& /*tableView*/,
                                                       platform::IndexPath indexPath) {
  return ownRecordAt(indexPath).has_value();
}

void ItemDetailViewController::deleteRowAtIndexPath(platform::TableView& /*tableView*/,
                                                    platform::IndexPath indexPath) {
  if (const std::optional<nlohmann::json> record = ownRecordAt(indexPath)) {
    confirmWithdrawal(*RecordText::text(*record, key::id), RecordText::text(*record, key::qty));
  }
}

void ItemDetailViewController::showCorrectionPrompt(const std::string& id,
                                                    const std::optional<std::string>& quantity) {
  auto self = sharedThis<ItemDetailViewController>();
  Prompt::show(
      *this, "Your " + corrections_.what, {{"Quantity", quantity, true}}, "Save",
      [self, id](const auto& texts) {
        const std::optional<std::string>& typed = texts.at(0);
        const auto userName = Utility::storedUserName();
        if (!StringUtil::isNotBlank(typed)) {
          UiUtility::showAlert("Alert", "Quantity has to be entered", *self);
          return;
        }
        if (userName) {
          self->sendRecord(*self->corrections_.update,
                           ServerApi::correctionRecord(id, *userName, *typed), true,
                           [self, id, typed] { self->showCorrectionPrompt(id, typed); });
        }
      },
      Prompt::OtherAction{"Withdraw",
                          [self, id, quantity] { self->confirmWithdrawal(id, quantity); }});
}

void ItemDetailViewController::confirmWithdrawal(const std::string& id,
                                                 const std::optional<std::string>& quantity) {
  auto self = sharedThis<ItemDetailViewController>();
  UiUtility::showAlertWithActions(
      "Withdraw", "Take back your " + corrections_.what + " of " + quantity.value_or("?") + "?",
      *this, "Withdraw",
      [self, id, quantity](platform::AlertAction&) {
        if (const auto userName = Utility::storedUserName()) {
          self->sendRecord(*self->corrections_.remove,
                           ServerApi::correctionRecord(id, *userName, std::nullopt), true,
                           [self, id, quantity] { self->showCorrectionPrompt(id, quantity); });
        }
      },
      "Cancel", {});
}

void ItemDetailViewController::promptForQuantity(
    const std::string& title, const std::optional<std::string>& typed,
    std::function<void(const std::optional<std::string>&)> send) {
  auto self = sharedThis<ItemDetailViewController>();
  Prompt::show(*this, title, {{"Quantity", typed, true}}, "Save",
               [self, send = std::move(send)](const auto& texts) {
                 if (!StringUtil::isNotBlank(texts.at(0))) {
                   UiUtility::showAlert("Alert", "Quantity has to be entered", *self);
                 }
                 send(texts.at(0));
               });
}

void ItemDetailViewController::sendQuantity(const Endpoint& endpoint, QuantityRecord record,
                                            const std::optional<std::string>& quantity,
                                            std::function<void()> reopenPrompt) {
  if (!StringUtil::isNotBlank(quantity)) {
    return;
  }
  const auto id = itemId();
  const auto userName = Utility::storedUserName();
  if (!id || !userName) {
    return;  // nothing to record it against, or no one to record it for
  }
  sendRecord(endpoint, record(*id, *userName, *quantity), true, std::move(reopenPrompt));
}

}  // namespace vantory
