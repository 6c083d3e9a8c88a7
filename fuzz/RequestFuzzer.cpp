// libFuzzer harness over the service's request handling: whatever the
// method, target and body, the reply is a status the service documents and
// a body of valid JSON, written to bytes as the server writes it.
//
// Input: the method, a space, the target, a line break, then the body.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "api/RequestHandler.h"
#include "http/HttpSession.h"
#include "storage/SqliteStorage.h"

namespace {

using namespace vantory::service;

// One database for the whole run, removed at exit.
struct Service {
  std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("vantory-fuzz-" + std::to_string(::getpid()));
  SqliteStorage storage{(std::filesystem::create_directories(directory), directory / "fuzz.db")};
  RequestHandler handler{storage};

  Service() {
    // Something for the ids in the inputs to find.
    handler.handle({"POST", "/kelvane/qx/addStore.php", R"(store={"name":"Deli","created":"A"})"});
    handler.handle({"POST", "/kelvane/qx/addItem.php",
                    R"(item={"storeId":"1","name":"Milk","description":"","price":"1",)"
                    R"("posted":"B"})"});
  }
  ~Service() { std::filesystem::remove_all(directory); }
};

bool documentedStatus(int status) {
  switch (status) {
    case 200:
    case 400:
    case 404:
    case 405:
    case 413:
    case 429:
    case 431:
    case 500:
    case 503:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Service service;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t space = input.find(' ');
  const std::size_t lineEnd = input.find('\n');
  if (space == std::string::npos || lineEnd == std::string::npos || space > lineEnd) {
    return 0;
  }
  const ApiRequest request{input.substr(0, space), input.substr(space + 1, lineEnd - space - 1),
                           input.substr(lineEnd + 1)};
  const ApiReply reply = service.handler.handle(request);
  const auto response = makeResponse(reply, 11, true);
  std::ostringstream bytes;
  bytes << response->message;
  const nlohmann::json body = nlohmann::json::parse(*response->payload, nullptr, false);
  if (!documentedStatus(reply.status) || !body.is_object() || bytes.str().empty()) {
    std::abort();
  }
  if (reply.status >= 400 && !(body.contains("error") && body["error"].is_string())) {
    std::abort();
  }
  return 0;
}
