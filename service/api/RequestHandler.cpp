#include "RequestHandler.h"

#include <openssl/evp.h>
#include <boost/url/parse.hpp>

#include <algorithm>

#include <optional>
#include <tuple>
#include <variant>

#include "Utf8.h"
#include "api/FormBody.h"
#include "api/JsonText.h"
#include "api/RecordValidator.h"
#include "storage/StorageError.h"

namespace vantory::service {

namespace {

constexpr std::string_view kPrefix = RequestHandler::kPathPrefix;
constexpr std::size_t kLongestIdempotencyKey = 255;

// A request's fingerprint: the SHA-256 of its text, in hex.
std::string sha256(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4U];
    out += hex[digest[i] & 0x0FU];
  }
  return out;
}

using nlohmann::json;

// A reply whose body is already JSON text.
ApiReply written(ReplyCache::Text text) {
  ApiReply reply;
  reply.serialized = std::move(text);
  return reply;
}

ApiReply written(std::string text) {
  return written(std::make_shared<const std::string>(std::move(text)));
}

void writeItem(JsonText::Writer& out, const ItemRow& item) {
  JsonText::writeItem(out, item, false);
}

ApiReply created(std::int64_t id) {
  ApiReply reply;
  reply.body = {{"status", "ok"}, {"id", std::to_string(id)}};
  return reply;
}

ApiReply badBody(std::string_view parameter) {
  return ApiReply::error(400, "Send a body of the form " + std::string(parameter) +
                                  "=<JSON object>, for example " + std::string(parameter) +
                                  "={\"name\":\"...\"}.");
}

// The record a POST carries, or the reply that refuses it.
std::variant<json, ApiReply> bodyRecord(std::string_view body, std::string_view parameter) {
  if (!Utf8::isValid(body)) {
    return ApiReply::error(400, "The request contains text that is not valid UTF-8.");
  }
  auto record = FormBody::parse(body, parameter);
  if (!record) {
    return badBody(parameter);
  }
  return std::move(*record);
}

// The id of a GET's one parameter ("store_id=12"), or the reply that refuses it.
std::variant<std::int64_t, ApiReply> queryId(std::string_view query, std::string_view name) {
  const std::size_t equals = query.find('=');
  if (equals == std::string_view::npos || query.substr(0, equals) != name ||
      equals + 1 == query.size()) {
    return ApiReply::error(400, "Add the parameter " + std::string(name) +
                                    "=<id> to the address, for example ?" + std::string(name) +
                                    "=12.");
  }
  const auto decoded = FormBody::formDecode(query.substr(equals + 1));
  const auto id = decoded ? RecordValidator::parseId(*decoded) : std::nullopt;
  if (!id) {
    return ApiReply::error(400,
                           "The " + std::string(name) + " must be made of digits, such as 12.");
  }
  return *id;
}

// Hands the record a POST carries to `use`, or refuses the body.
template <typename Use>
ApiReply withRecord(std::string_view body, std::string_view parameter, Use&& use) {
  auto parsed = bodyRecord(body, parameter);
  if (auto* refused = std::get_if<ApiReply>(&parsed)) {
    return *refused;
  }
  RecordValidator record(std::get<json>(parsed));
  return use(record);
}

// Hands the id of a GET's parameter to `use`, or refuses the query.
template <typename Use>
ApiReply withId(std::string_view query, std::string_view name, Use&& use) {
  auto id = queryId(query, name);
  if (auto* refused = std::get_if<ApiReply>(&id)) {
    return *refused;
  }
  return use(std::get<std::int64_t>(id));
}

// The 400 for the first value the record failed on, if any.
std::optional<ApiReply> invalid(const RecordValidator& record) {
  if (record.error()) {
    return ApiReply::error(400, *record.error());
  }
  return std::nullopt;
}

// The reply to a correction: done, or why not.
ApiReply corrected(Correction outcome, std::int64_t id, const char* what) {
  switch (outcome) {
    case Correction::done:
      return created(id);
    case Correction::unknown:
      return ApiReply::error(
          404, std::string("There is no ") + what + " with that id; it may have been removed.");
    case Correction::notYours:
      return ApiReply::error(403, std::string("This ") + what +
                                      " is someone else's: only they can change or remove it.");
    case Correction::othersInvolved:
      return ApiReply::error(409,
                             "This deal cannot be removed: others have said they want it or "
                             "have bought it.");
    case Correction::hasDeals:
      return ApiReply::error(409, "This store cannot be removed while it has deals.");
  }
  return ApiReply::error(500, "The service could not complete the request; try again shortly.");
}

ApiReply notFound(const char* what) {
  return ApiReply::error(
      404, std::string("There is no ") + what + " with that id; it may never have existed.");
}

// What a client is told of a storage failure (never its cause).
ApiReply storageFailure(const StorageError& error) {
  switch (error.kind()) {
    case StorageError::Kind::full:
      return ApiReply::failure(500, "The service's storage is full, so nothing was stored.",
                               error.what());
    case StorageError::Kind::unreadable:
      return ApiReply::failure(500, "The service's storage cannot be read.", error.what());
    case StorageError::Kind::readOnly:
      return ApiReply::failure(500, "The service's storage cannot be written to.", error.what());
    case StorageError::Kind::busy:
      return ApiReply::failure(503, "The service is busy; try again shortly.", error.what());
    case StorageError::Kind::unavailable:
      return ApiReply::failure(503, "The service's database cannot be reached; try again shortly.",
                               error.what());
    case StorageError::Kind::failed:
      break;
  }
  return ApiReply::failure(500, "The service could not complete the request; try again shortly.",
                           error.what());
}

}  // namespace

RequestHandler::RequestHandler(Storage& storage) : storage_(storage) {
  const auto get = [](ApiReply (RequestHandler::*member)(std::string_view)) {
    return Route{"GET", [member](RequestHandler& self, std::string_view arg) {
                   return (self.*member)(arg);
                 }};
  };
  const auto post = [](ApiReply (RequestHandler::*member)(std::string_view)) {
    return Route{
        "POST",
        [member](RequestHandler& self, std::string_view arg) { return (self.*member)(arg); }, true};
  };
  routes_["getListOfStores.php"] = {
      "GET", [](RequestHandler& self, std::string_view) { return self.getListOfStores(); }};
  // A write whose record names the person making it.
  const auto signed_ = [&post](ApiReply (RequestHandler::*member)(std::string_view),
                               std::string_view parameter, std::string_view personKey,
                               bool corrects = false) {
    Route route = post(member);
    route.parameter = parameter;
    route.personKey = personKey;
    route.corrects = corrects;
    return route;
  };
  routes_["addStore.php"] = signed_(&RequestHandler::addStore, "store", "created");
  routes_["getListOfItems.php"] = get(&RequestHandler::getListOfItems);
  routes_["addItem.php"] = signed_(&RequestHandler::addItem, "item", "posted");
  routes_["getItemById.php"] = get(&RequestHandler::getItemById);
  routes_["editItem.php"] = post(&RequestHandler::editItem);
  routes_["getInterested.php"] = get(&RequestHandler::getInterested);
  routes_["addInterested.php"] = signed_(&RequestHandler::addInterested, "interested", "name");
  routes_["getBought.php"] = get(&RequestHandler::getBought);
  routes_["addBuy.php"] = signed_(&RequestHandler::addBuy, "buy", "name");
  for (const auto& [path, member, parameter] :
       {std::tuple{"updateInterested.php", &RequestHandler::updateInterested, "interested"},
        std::tuple{"removeInterested.php", &RequestHandler::removeInterested, "interested"},
        std::tuple{"updateBuy.php", &RequestHandler::updateBuy, "buy"},
        std::tuple{"removeBuy.php", &RequestHandler::removeBuy, "buy"},
        std::tuple{"removeItem.php", &RequestHandler::removeItem, "item"},
        std::tuple{"removeStore.php", &RequestHandler::removeStore, "store"}}) {
    routes_[path] = signed_(member, parameter, "name", true);
  }
  routes_["searchItem.php"] = post(&RequestHandler::searchItem);
  routes_["searchItem.php"].writes = false;  // a POST that reads
}

ApiReply RequestHandler::handle(const ApiRequest& request) {
  // Nothing a client sends may end the service: whatever escapes below is
  // answered as the service's own failure.
  try {
    return route(request);
  } catch (const StorageError& error) {
    return storageFailure(error);
  } catch (const std::exception& error) {
    return ApiReply::failure(500, "The service could not complete the request; try again shortly.",
                             error.what());
  } catch (...) {
    return ApiReply::failure(500, "The service could not complete the request; try again shortly.",
                             "unknown failure");
  }
}

ApiReply RequestHandler::route(const ApiRequest& request) {
  const auto target = boost::urls::parse_origin_form(request.target);
  if (!target) {
    return ApiReply::error(400, "The request's address is not a valid path and query.");
  }
  const std::string_view path = target->encoded_path();
  const std::string_view query = target->encoded_query();

  if (path.substr(0, kPrefix.size()) != kPrefix) {
    return ApiReply::error(404, "There is nothing at " + std::string(path) + ".");
  }
  const auto found = routes_.find(path.substr(kPrefix.size()));
  if (found == routes_.end()) {
    return ApiReply::error(404, "There is nothing at " + std::string(path) + ".");
  }
  const Route& endpoint = found->second;
  if (request.method != endpoint.method) {
    ApiReply reply =
        ApiReply::error(405, std::string(path) + " takes " + endpoint.method + " requests only.");
    reply.allow = endpoint.method;
    return reply;
  }
  if (auto refusal = request.signedInAs ? notSignedInAs(request, endpoint) : std::nullopt) {
    return *refusal;
  }
  if (endpoint.writes && !request.idempotencyKey.empty()) {
    return writeOnce(request, endpoint);
  }
  return endpoint.run(*this, endpoint.method == "GET" ? query : std::string_view(request.body));
}

std::optional<ApiReply> RequestHandler::notSignedInAs(const ApiRequest& request,
                                                      const Route& endpoint) {
  if (endpoint.personKey.empty()) {
    return std::nullopt;
  }
  // A record that cannot be read, or names nobody, is refused by its handler.
  const auto parsed = bodyRecord(request.body, endpoint.parameter);
  const auto* record = std::get_if<json>(&parsed);
  if (record == nullptr) {
    return std::nullopt;
  }
  const auto named = record->find(endpoint.personKey);
  if (named == record->end() || !named->is_string() ||
      named->get_ref<const std::string&>() == *request.signedInAs) {
    return std::nullopt;
  }
  const std::string& who = *request.signedInAs;
  return ApiReply::error(403, endpoint.corrects
                                  ? "You are signed in as " + who +
                                        ": you can only change or remove what is under that name."
                                  : "You are signed in as " + who +
                                        ": what you add is recorded under that name, " +
                                        "so register in the app as " + who + ".");
}

ApiReply RequestHandler::writeOnce(const ApiRequest& request, const Route& endpoint) {
  const std::string& key = request.idempotencyKey;
  if (key.size() > kLongestIdempotencyKey ||
      std::any_of(key.begin(), key.end(), [](char c) { return c < '!' || c > '~'; })) {
    return ApiReply::error(400, "The Idempotency-Key must be 1 to " +
                                    std::to_string(kLongestIdempotencyKey) +
                                    " visible ASCII characters.");
  }
  const std::string fingerprint =
      sha256(request.method + " " + request.target + "\n" + request.body);
  ApiReply reply;
  const auto earlier = storage_.writeOnce(key, fingerprint, [&]() -> std::optional<KeptReply> {
    reply = endpoint.run(*this, request.body);
    // A refusal stored nothing: a resend is checked again.
    if (reply.status < 200 || reply.status > 299) {
      return std::nullopt;
    }
    return KeptReply{fingerprint, reply.status, reply.serializedBody()};
  });
  if (!earlier) {
    return reply;
  }
  if (earlier->fingerprint != fingerprint) {
    return ApiReply::error(422,
                           "This Idempotency-Key was already used for a different request; a new "
                           "request needs a key of its own.");
  }
  ApiReply kept = written(earlier->body);
  kept.status = earlier->status;
  return kept;
}

ApiReply RequestHandler::getListOfStores() {
  const std::uint64_t version = storage_.dataVersion();
  return written(stores_.get(0, version, [this] {
    return JsonText::list("Stores", storage_.listStores(), JsonText::writeStore);
  }));
}

ApiReply RequestHandler::addStore(std::string_view body) {
  return withRecord(body, "store", [this](RecordValidator& record) {
    const std::string name = record.name("name", "Store Name");
    const std::string createdBy = record.name("created", "Your name");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    return created(storage_.addStore(name, createdBy));
  });
}

ApiReply RequestHandler::getListOfItems(std::string_view query) {
  return withId(query, "store_id", [this](std::int64_t storeId) {
    const std::uint64_t version = storage_.dataVersion();
    auto text = items_.get(static_cast<std::uint64_t>(storeId), version,
                           [this, storeId]() -> std::optional<std::string> {
                             const auto items = storage_.listItems(storeId);
                             if (!items) {
                               return std::nullopt;
                             }
                             return JsonText::list("Items", *items, writeItem);
                           });
    return text ? written(std::move(text)) : notFound("store");
  });
}

ApiReply RequestHandler::addItem(std::string_view body) {
  return withRecord(body, "item", [this](RecordValidator& record) {
    const std::int64_t storeId = record.id("storeId");
    const std::string name = record.name("name", "Item Name");
    const std::string description =
        record.text("description", RecordValidator::kMaxDescriptionLength, "Description");
    const std::string price = record.price("price");
    const std::string postedBy = record.name("posted", "Your name");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    const auto id = storage_.addItem(storeId, name, description, price, postedBy);
    return id ? created(*id) : notFound("store");
  });
}

ApiReply RequestHandler::getItemById(std::string_view query) {
  return withId(query, "item_id", [this](std::int64_t itemId) {
    const auto item = storage_.getItem(itemId);
    if (!item) {
      return notFound("deal");
    }
    return written(JsonText::list("Items", std::vector<ItemRow>{*item}, writeItem));
  });
}

ApiReply RequestHandler::editItem(std::string_view body) {
  return withRecord(body, "item", [this](RecordValidator& record) {
    const std::int64_t itemId = record.id("itemId");
    const std::string name = record.name("name", "Item Name");
    const std::string description =
        record.text("description", RecordValidator::kMaxDescriptionLength, "Description");
    const std::string price = record.price("price");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    return storage_.editItem(itemId, name, description, price) ? created(itemId) : notFound("deal");
  });
}

ApiReply RequestHandler::addQuantity(std::string_view body, std::string_view parameter,
                                     bool purchase) {
  return withRecord(body, parameter, [this, purchase](RecordValidator& record) {
    const std::int64_t itemId = record.id("itemId");
    const std::string name = record.name("name", "Your name");
    const std::int64_t qty = record.quantity("qty");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    const auto id = purchase ? storage_.addPurchase(itemId, name, qty)
                             : storage_.addInterest(itemId, name, qty);
    return id ? created(*id) : notFound("deal");
  });
}

ApiReply RequestHandler::correctQuantity(std::string_view body, std::string_view parameter,
                                         bool purchase, bool remove) {
  return withRecord(body, parameter, [this, purchase, remove](RecordValidator& record) {
    const std::int64_t id = record.id("id");
    const std::string name = record.name("name", "Your name");
    const std::int64_t qty = remove ? 0 : record.quantity("qty");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    Correction outcome = Correction::unknown;
    if (purchase) {
      outcome = remove ? storage_.removePurchase(id, name) : storage_.updatePurchase(id, name, qty);
    } else {
      outcome = remove ? storage_.removeInterest(id, name) : storage_.updateInterest(id, name, qty);
    }
    return corrected(outcome, id, purchase ? "purchase" : "interest");
  });
}

ApiReply RequestHandler::updateInterested(std::string_view body) {
  return correctQuantity(body, "interested", false, false);
}

ApiReply RequestHandler::removeInterested(std::string_view body) {
  return correctQuantity(body, "interested", false, true);
}

ApiReply RequestHandler::updateBuy(std::string_view body) {
  return correctQuantity(body, "buy", true, false);
}

ApiReply RequestHandler::removeBuy(std::string_view body) {
  return correctQuantity(body, "buy", true, true);
}

ApiReply RequestHandler::removeItem(std::string_view body) {
  return removeOwn(body, "item", "itemId", "deal", &Storage::removeItem);
}

ApiReply RequestHandler::removeStore(std::string_view body) {
  return removeOwn(body, "store", "storeId", "store", &Storage::removeStore);
}

ApiReply RequestHandler::removeOwn(std::string_view body, std::string_view parameter,
                                   const char* idKey, const char* what,
                                   Correction (Storage::*remove)(std::int64_t,
                                                                 const std::string&)) {
  return withRecord(body, parameter, [&](RecordValidator& record) {
    const std::int64_t id = record.id(idKey);
    const std::string name = record.name("name", "Your name");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    return corrected((storage_.*remove)(id, name), id, what);
  });
}

ApiReply RequestHandler::addInterested(std::string_view body) {
  return addQuantity(body, "interested", false);
}

ApiReply RequestHandler::addBuy(std::string_view body) { return addQuantity(body, "buy", true); }

ApiReply RequestHandler::listQuantities(std::string_view query, const char* replyKey,
                                        bool purchases) {
  return withId(query, "item_id", [this, replyKey, purchases](std::int64_t itemId) {
    const auto rows = purchases ? storage_.listPurchases(itemId) : storage_.listInterests(itemId);
    if (!rows) {
      return notFound("deal");
    }
    return written(JsonText::list(replyKey, *rows, JsonText::writeQuantity));
  });
}

ApiReply RequestHandler::getInterested(std::string_view query) {
  return listQuantities(query, "Interested", false);
}

ApiReply RequestHandler::getBought(std::string_view query) {
  return listQuantities(query, "Bought", true);
}

ApiReply RequestHandler::searchItem(std::string_view body) {
  return withRecord(body, "search", [this](RecordValidator& record) {
    const std::string query = record.text("query", RecordValidator::kMaxNameLength, "Search Text");
    if (auto refusal = invalid(record)) {
      return *refusal;
    }
    if (query.empty()) {
      return ApiReply::error(400, "Search Text can't be empty.");
    }
    return written(JsonText::list(
        "Results", storage_.search(query),
        [](JsonText::Writer& out, const ItemRow& item) { JsonText::writeItem(out, item, true); }));
  });
}

}  // namespace vantory::service
