#pragma once

#include <string>

#include "support/AppHarness.h"
#include "ui/item_detail/InterestedViewController.h"
#include "ui/items/ItemViewController.h"
#include "ui/stores/StoreViewController.h"

namespace testsupport {

inline constexpr char kInterestedPath[] = "/kelvane/qx/getInterested.php";
inline constexpr char kItemByIdPath[] = "/kelvane/qx/getItemById.php";
inline constexpr char kBoughtPath[] = "/kelvane/qx/getBought.php";

// A returning user who opened the one store and then the deal `item` (a
// JSON object). The item re-read answers `itemReply` unless given otherwise.
inline vantory::InterestedViewController& openDeal(AppHarness& app, const std::string& item,
                                                   const std::string& interestedReply,
                                                   const std::string& itemReply) {
  app.storeUserName("Ann Lee");
  app.service().reply(kStoresPath, R"({"Stores":[{"id":"1","name":"Deli","created_by":"Jo"}]})");
  app.service().reply("/kelvane/qx/getListOfItems.php", R"({"Items":[)" + item + "]}");
  app.service().reply(kInterestedPath, interestedReply);
  app.service().reply(kItemByIdPath, itemReply);
  app.launch();
  app.selectRow(0, 0);
  app.selectRow(0, 0);
  auto* deal = app.top<vantory::InterestedViewController>();
  if (deal == nullptr) {
    ADD_FAILURE() << "the deal did not open";
    std::abort();
  }
  return *deal;
}

inline std::string itemJson(const std::string& interested, const std::string& bought,
                            const std::string& name = "Milk") {
  return R"({"id":"5","name":")" + name +
         R"(","description":"2 litres","price":"19.5","posted_by":"Jo Doe","interested":")" +
         interested + R"(","bought":")" + bought + R"("})";
}

inline std::string itemsReply(const std::string& item) { return R"({"Items":[)" + item + "]}"; }

}  // namespace testsupport
