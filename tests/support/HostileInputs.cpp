#include "HostileInputs.h"

#include <tuple>

namespace testsupport {

std::vector<HostileInputs::Reply> HostileInputs::unusableReplies(const std::string& key) {
  const std::string record = R"({"id":"2","name":"Big","store_name":"S","rank":)";
  const std::string nested = std::string(100'000, '[') + std::string(100'000, ']');
  const std::string listStart = "{\"" + key + "\":[";
  return {
      {"a number beyond a double", {200, listStart + record + "1e400}]}"}},
      {"a negative number beyond a double", {200, listStart + record + "-1e999}]}"}},
      {"100,000 levels of nesting", {200, listStart + nested + "]}"}},
      {"invalid UTF-8 in a string",
       {200, listStart + R"({"id":"1","name":"Caf)" + std::string("\xC3\x28\xFF") + "\"}]}"}},
      {"a body cut off inside the JSON", {200, listStart + R"({"id":"1","na)"}},
      {"a connection closed mid-reply",
       {200, listStart + R"({"id":"1"})", "application/json", {}, std::size_t{4096}}},
      {"an HTML error page", {502, "<html><body>Bad Gateway</body></html>", "text/html"}},
  };
}

std::string HostileInputs::hugeListReply(const std::string& key, int megabytes, int rows) {
  const std::size_t nameBytes =
      static_cast<std::size_t>(megabytes) * 1'000'000 / static_cast<std::size_t>(rows);
  std::string reply = "{\"" + key + "\":[";
  for (int i = 0; i < rows; ++i) {
    if (i > 0) {
      reply += ',';
    }
    reply += R"({"id":")" + std::to_string(i + 1) + R"(","name":")" +
             std::string(nameBytes, static_cast<char>('a' + i % 26)) +
             R"(","description":"d","price":"1","store_name":"S","created_by":"x"})";
  }
  return reply + "]}";
}

std::vector<HostileInputs::Request> HostileInputs::refusedRequests() {
  const std::string kq = "/kelvane/qx/";
  std::vector<Request> requests = {
      {"invalid UTF-8 in the path", "GET", "/\xff", ""},
      {"invalid UTF-8 in an endpoint's path", "GET", kq + "getListOfStores\xc3.php?", ""},
      {"invalid UTF-8 in the query", "GET", kq + "getListOfItems.php?store_id=1\xff", ""},
      {"an escaped invalid byte in the query", "GET", kq + "getListOfItems.php?store_id=%FF", ""},
      {"a malformed escape in the query", "GET", kq + "getItemById.php?item_id=%4", ""},
      {"invalid UTF-8 in the body", "POST", kq + "addStore.php",
       "store={\"name\":\"Caf\xe9\",\"created\":\"Ann\"}"},
      {"a lone surrogate escape", "POST", kq + "addStore.php",
       R"(store={"name":"\ud800","created":"Ann"})"},
      {"a number beyond a double", "POST", kq + "addInterested.php",
       R"(interested={"itemId":"1","name":"Ann","qty":1e400})"},
      {"a quantity beyond a double as text", "POST", kq + "addInterested.php",
       R"(interested={"itemId":"1","name":"Ann","qty":"1e400"})"},
      {"deep nesting", "POST", kq + "addStore.php",
       "store=" + std::string(30'000, '[') + std::string(30'000, ']')},
      {"deep nesting inside a value", "POST", kq + "addStore.php",
       R"(store={"name":)" + std::string(30'000, '[') + std::string(30'000, ']') +
           R"(,"created":"Ann"})"},
      {"a cut-off body", "POST", kq + "addItem.php", R"(item={"storeId":"1","name":"Te)"},
      {"a price that is a number", "POST", kq + "addItem.php",
       R"(item={"storeId":"1","name":"Tea","description":"","price":2,"posted":"Ann"})"},
      {"a price with two commas", "POST", kq + "addItem.php",
       R"(item={"storeId":"1","name":"Tea","description":"","price":"1,2,3","posted":"Ann"})"},
      {"a price with a comma and a point", "POST", kq + "addItem.php",
       R"(item={"storeId":"1","name":"Tea","description":"","price":"1.000,50","posted":"Ann"})"},
      {"NUL in a search", "POST", kq + "searchItem.php", R"(search={"query":"mi\u0000lk"})"},
      {"a control character in a search", "POST", kq + "searchItem.php",
       R"(search={"query":"\u001b[31m"})"},
  };
  // The corrections and removals: wrong types at every key, a quantity beyond
  // a double, NUL in a name, deep nesting and a cut-off body.
  for (const auto& [endpoint, parameter, idKey] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"updateInterested.php", "interested", "id"},
           {"removeInterested.php", "interested", "id"},
           {"updateBuy.php", "buy", "id"},
           {"removeBuy.php", "buy", "id"},
           {"removeItem.php", "item", "itemId"},
           {"removeStore.php", "store", "storeId"}}) {
    const std::string start = parameter + "={\"" + idKey + "\":";
    for (const auto& [what, body] : std::vector<std::pair<std::string, std::string>>{
             {"an id that is an object", start + R"({"x":[]},"name":"Ann","qty":"1"})"},
             {"an id beyond a double", start + R"("1e400","name":"Ann","qty":"1"})"},
             {"a name that is a number", start + R"("1","name":7,"qty":"1"})"},
             {"NUL in the name", start + R"("1","name":"A\u0000nn","qty":"1"})"},
             {"a quantity beyond a double", start + R"("1","name":"Ann","qty":"1e400"})"},
             {"deep nesting", start + std::string(30'000, '[') + std::string(30'000, ']') + "}"},
             {"a cut-off body", start + R"("1","na)"}}) {
      // A removal takes no quantity: with a valid rest it would be obeyed.
      if (what.find("quantity") == std::string::npos || endpoint.rfind("update", 0) == 0) {
        requests.push_back({what + " to " + endpoint, "POST", kq + endpoint, body});
      }
    }
  }
  // Every text field of every endpoint that stores text, with NUL, BEL and a
  // carriage return.
  const std::vector<std::tuple<std::string, std::string, std::string>> records = {
      {"addStore.php", "store", R"({"name":"N","created":"C"})"},
      {"addItem.php", "item",
       R"({"storeId":"1","name":"N","description":"D","price":"1","posted":"P"})"},
      {"editItem.php", "item", R"({"itemId":"1","name":"N","description":"D","price":"1"})"},
      {"addInterested.php", "interested", R"({"itemId":"1","name":"N","qty":"1"})"},
      {"addBuy.php", "buy", R"({"itemId":"1","name":"N","qty":"1"})"},
  };
  for (const auto& [endpoint, parameter, record] : records) {
    for (const char* key : {"name", "created", "description", "posted"}) {
      const std::string field = std::string("\"") + key + "\":\"";
      const std::size_t at = record.find(field);
      if (at == std::string::npos) {
        continue;
      }
      for (const char* control : {R"(\u0000)", R"(\u0007)", R"(\r)"}) {
        std::string body = parameter + "=" + record;
        body.insert(at + field.size() + parameter.size() + 1, control);
        requests.push_back(
            {std::string(control) + " in " + key + " of " + endpoint, "POST", kq + endpoint, body});
      }
    }
  }
  return requests;
}

}  // namespace testsupport
