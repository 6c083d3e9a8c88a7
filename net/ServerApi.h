#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "net/Endpoint.h"
#include "net/WebServiceCall.h"

namespace vantory {

// The one place that knows the service: its address, its eleven endpoints,
// the records it takes and the parameter texts that carry them.
class ServerApi {
 public:
  static constexpr Endpoint getListOfStores{"/kelvane/qx/getListOfStores.php", CallType::GET, "",
                                            "Stores"};
  static constexpr Endpoint addStore{"/kelvane/qx/addStore.php", CallType::POST, "store", ""};
  static constexpr Endpoint getListOfItems{"/kelvane/qx/getListOfItems.php", CallType::GET,
                                           "store_id", "Items"};
  static constexpr Endpoint addItem{"/kelvane/qx/addItem.php", CallType::POST, "item", ""};
  static constexpr Endpoint getInterested{"/kelvane/qx/getInterested.php", CallType::GET, "item_id",
                                          "Interested"};
  static constexpr Endpoint getItemById{"/kelvane/qx/getItemById.php", CallType::GET, "item_id",
                                        "Items"};
  static constexpr Endpoint editItem{"/kelvane/qx/editItem.php", CallType::POST, "item", ""};
  static constexpr Endpoint addInterested{"/kelvane/qx/addInterested.php", CallType::POST,
                                          "interested", ""};
  static constexpr Endpoint getBought{"/kelvane/qx/getBought.php", CallType::GET, "item_id",
                                      "Bought"};
  static constexpr Endpoint addBuy{"/kelvane/qx/addBuy.php", CallType::POST, "buy", ""};
  static constexpr Endpoint searchItem{"/kelvane/qx/searchItem.php", CallType::POST, "search",
                                       "Results"};
  // Corrections of one's own records.
  static constexpr Endpoint updateInterested{"/kelvane/qx/updateInterested.php", CallType::POST,
                                             "interested", ""};
  static constexpr Endpoint removeInterested{"/kelvane/qx/removeInterested.php", CallType::POST,
                                             "interested", ""};
  static constexpr Endpoint updateBuy{"/kelvane/qx/updateBuy.php", CallType::POST, "buy", ""};
  static constexpr Endpoint removeBuy{"/kelvane/qx/removeBuy.php", CallType::POST, "buy", ""};
  static constexpr Endpoint removeItem{"/kelvane/qx/removeItem.php", CallType::POST, "item", ""};
  static constexpr Endpoint removeStore{"/kelvane/qx/removeStore.php", CallType::POST, "store", ""};

  static constexpr std::string_view defaultBaseAddress = "http://127.0.0.1:8080";

  // Scheme, host and port of the service, without a trailing slash. Set once
  // by the app at start.
  static void setBaseAddress(std::string address);
  static std::string baseAddress();

  static std::string urlFor(const Endpoint& endpoint);

  // "name=value" with nothing escaped; "" for an endpoint without parameter.
  static std::string parameterText(const Endpoint& endpoint, std::string_view value);

  // A call with the endpoint's type, JSON delivery and full address set.
  static std::shared_ptr<WebServiceCall> makeCall(const Endpoint& endpoint);

  // The request records, with the service's exact keys.
  static nlohmann::json newStoreRecord(const std::string& name, const std::string& createdBy);
  static nlohmann::json newItemRecord(const std::string& storeId, const std::string& name,
                                      const std::string& description, const std::string& price,
                                      const std::string& postedBy);
  static nlohmann::json itemEditRecord(const std::string& itemId, const std::string& name,
                                       const std::string& description, const std::string& price);
  static nlohmann::json interestRecord(const std::string& itemId, const std::string& name,
                                       const std::string& qty);
  static nlohmann::json purchaseRecord(const std::string& itemId, const std::string& name,
                                       const std::string& qty);
  static nlohmann::json searchRecord(const std::string& query);
  // An interest or purchase of one's own by its id: with a quantity, the
  // change; without, taking it back.
  static nlohmann::json correctionRecord(const std::string& id, const std::string& name,
                                         const std::optional<std::string>& qty);
};

}  // namespace vantory
