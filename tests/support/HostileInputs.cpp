#include "HostileInputs.h"

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

}  // namespace testsupport
