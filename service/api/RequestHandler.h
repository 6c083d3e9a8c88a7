#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "api/ApiReply.h"
#include "api/ApiRequest.h"
#include "api/ReplyCache.h"
#include "storage/Storage.h"

namespace vantory::service {

// The service's endpoints as a pure function from a request to a reply: it
// reads and writes the storage and knows nothing of sockets. Bad input gets a
// 4xx reply with {"error": "..."} and stores nothing; a failure of the
// service itself a 5xx whose cause goes to the log only. It never throws.
class RequestHandler {
 public:
  // Where the endpoints are: every path the service answers starts so.
  static constexpr std::string_view kPathPrefix = "/kelvane/qx/";
  // Where clients follow changes live (served by the connection itself).
  static constexpr std::string_view kEventsPath = "/kelvane/qx/events";

  explicit RequestHandler(Storage& storage);

  ApiReply handle(const ApiRequest& request);

 private:
  struct Route {
    using Run = std::function<ApiReply(RequestHandler&, std::string_view argument)>;
    Route() = default;
    Route(std::string routeMethod, Run runner, bool isWrite = false)
        : method(std::move(routeMethod)), run(std::move(runner)), writes(isWrite) {}

    std::string method;
    Run run;
    bool writes = false;  // an Idempotency-Key makes it happen once
    // With a user list, a write's record must name the person signed in:
    // the body's parameter, the record's key that names the person, and
    // whether the write corrects a record (rather than adds one).
    std::string_view parameter;
    std::string_view personKey;
    bool corrects = false;
  };

  ApiReply route(const ApiRequest& request);
  // With a user list: the 403 for a write naming someone other than the
  // person signed in, if it does.
  static std::optional<ApiReply> notSignedInAs(const ApiRequest& request, const Route& endpoint);
  // A write sent with an Idempotency-Key: done once, its reply kept for resends.
  ApiReply writeOnce(const ApiRequest& request, const Route& endpoint);

  ApiReply getListOfStores();
  ApiReply addStore(std::string_view body);
  ApiReply getListOfItems(std::string_view query);
  ApiReply addItem(std::string_view body);
  ApiReply getItemById(std::string_view query);
  ApiReply editItem(std::string_view body);
  ApiReply getInterested(std::string_view query);
  ApiReply addInterested(std::string_view body);
  ApiReply getBought(std::string_view query);
  ApiReply addBuy(std::string_view body);
  ApiReply searchItem(std::string_view body);

  ApiReply updateInterested(std::string_view body);
  ApiReply removeInterested(std::string_view body);
  ApiReply updateBuy(std::string_view body);
  ApiReply removeBuy(std::string_view body);
  ApiReply removeItem(std::string_view body);
  ApiReply removeStore(std::string_view body);

  ApiReply addQuantity(std::string_view body, std::string_view parameter, bool purchase);
  // A deal or store of one's own removed: the record names it by `idKey`.
  ApiReply removeOwn(std::string_view body, std::string_view parameter, const char* idKey,
                     const char* what,
                     Correction (Storage::*remove)(std::int64_t, const std::string&));
  // A quantity of one's own changed (with "qty") or taken back.
  ApiReply correctQuantity(std::string_view body, std::string_view parameter, bool purchase,
                           bool remove);
  ApiReply listQuantities(std::string_view query, const char* replyKey, bool purchases);

  Storage& storage_;
  std::map<std::string, Route, std::less<>> routes_;

  // The store list and the deals of each store, kept written out until the
  // next commit to the storage (by this server or another sharing it).
  ReplyCache stores_;
  ReplyCache items_;
};

}  // namespace vantory::service
