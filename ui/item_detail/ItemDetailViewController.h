#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/toolkit/BarButtonItem.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/TextView.h"
#include "ui/common/ListViewController.h"
#include "ui/common/RecordReceiver.h"

namespace vantory {

// What the item detail and purchase screens share: one deal shown with its
// name, description, price, poster and the three counters (wanted in total,
// bought, still needed), a list of people, and a refresh that reads the list
// and then re-reads the deal.
class ItemDetailViewController : public ListViewController, public RecordReceiver {
 public:
  // The labels after a re-read: all item texts, or the counters only.
  enum class Reread { itemAndCounters, countersOnly };

  // How the person corrects a row of their own: what it is called in the
  // prompt ("Interest", "Purchase") and where a change or withdrawal goes.
  struct Corrections {
    std::string what;
    const Endpoint* update;
    const Endpoint* remove;
  };

  ItemDetailViewController(ListScreenValues values, Reread reread, Corrections corrections);

  // A row of one's own (under the stored name) opens its correction prompt
  // with "Save", "Withdraw" (asked once more) and "Cancel"; others' rows open
  // nothing.
  void didSelectRowAtIndexPath(platform::TableView& tableView,
                               platform::IndexPath indexPath) override;
  // The same rows may be taken back at once (the Delete key): "Withdraw",
  // asked once more.
  bool canDeleteRowAtIndexPath(platform::TableView& tableView,
                               platform::IndexPath indexPath) override;
  void deleteRowAtIndexPath(platform::TableView& tableView, platform::IndexPath indexPath) override;

  const std::optional<std::string>& itemInfo() const { return itemInfo_; }
  void setItemInfo(std::string itemInfo) { itemInfo_ = std::move(itemInfo); }
  void receiveRecordInfo(const std::string& recordInfo) override { setItemInfo(recordInfo); }
  const std::optional<nlohmann::json>& item() const { return item_; }

  void refreshSelected(platform::ModelObject* sender);
  void refreshItemInfo();
  void processItemInfoWithResponse(const std::optional<nlohmann::json>& reply);

  // Interested minus bought, each read as a signed 64-bit whole number
  // ("+"/"-" and digits only); exact, so it may be negative or exceed 32
  // bits. Nothing when either does not read.
  static std::optional<std::string> neededCount(const std::string& interested,
                                                const std::string& bought);

  const std::shared_ptr<platform::BarButtonItem>& refreshButton() const { return refreshButton_; }
  platform::Label* itemName() const { return itemName_; }
  platform::TextView* descriptionLabel() const { return descriptionLabel_; }
  platform::Label* priceLabel() const { return priceLabel_; }
  platform::Label* postedBy() const { return postedBy_; }
  platform::Label* totalLabel() const { return totalLabel_; }
  platform::Label* boughtLabel() const { return boughtLabel_; }
  platform::Label* neededLabel() const { return neededLabel_; }

 protected:
  void setUpScreen() override;
  std::optional<std::string> listParameter() override;
  bool isConcernedBy(const Change& change) const override;
  void listShown() override;
  void fillCell(platform::TableViewCell& cell, const nlohmann::json& record) override;
  // The screen's own bar buttons.
  virtual void placeBarButtons() = 0;

  // The id of the deal shown, when it has one.
  std::optional<std::string> itemId() const;

  // The quantity prompt of interest and purchase, holding the quantity typed
  // before when there was one: "Quantity" is checked for blankness, then
  // handed to send.
  void promptForQuantity(const std::string& title, const std::optional<std::string>& typed,
                         std::function<void(const std::optional<std::string>&)> send);
  // The record of an interest or a purchase: item id, user name, quantity.
  using QuantityRecord = nlohmann::json (*)(const std::string& itemId, const std::string& name,
                                            const std::string& qty);
  // Sends an interest or a purchase of the quantity under the stored name;
  // after a failure reopenPrompt gives the person their quantity back.
  void sendQuantity(const Endpoint& endpoint, QuantityRecord record,
                    const std::optional<std::string>& quantity, std::function<void()> reopenPrompt);

  std::shared_ptr<platform::BarButtonItem> refreshButton_;

 private:
  // The record of the row when it is one's own and can be corrected.
  std::optional<nlohmann::json> ownRecordAt(platform::IndexPath indexPath) const;
  void showCorrectionPrompt(const std::string& id, const std::optional<std::string>& quantity);
  void confirmWithdrawal(const std::string& id, const std::optional<std::string>& quantity);
  void fillItemTexts();
  void fillPoster();
  void fillCounters();

  Reread reread_;
  Corrections corrections_;
  std::optional<std::string> itemInfo_;
  std::optional<nlohmann::json> item_;
  platform::Label* itemName_ = nullptr;
  platform::TextView* descriptionLabel_ = nullptr;
  platform::Label* priceLabel_ = nullptr;
  platform::Label* postedBy_ = nullptr;
  platform::Label* totalLabel_ = nullptr;
  platform::Label* boughtLabel_ = nullptr;
  platform::Label* neededLabel_ = nullptr;
};

}  // namespace vantory
