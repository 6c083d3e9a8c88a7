#pragma once

#include <string>
#include <vector>

#include "support/RecordingHttpServer.h"

namespace testsupport {

// What a broken or hostile peer sends, shared by every test that reads what
// a peer sends.
class HostileInputs {
 public:
  struct Reply {
    std::string name;
    RecordingHttpServer::Reply reply;
  };

  // Replies that carry no usable JSON, each in the shape of a list reply
  // keyed by `key` where it has one: a number beyond a double (both signs),
  // 100,000 levels of nesting, invalid UTF-8 in a string, a cut-off body, a
  // connection closed mid-reply, an HTML error page.
  static std::vector<Reply> unusableReplies(const std::string& key);

  // A valid list reply of about `megabytes` MB under `key`: `rows` records
  // whose "name" is long enough to reach the size.
  static std::string hugeListReply(const std::string& key, int megabytes, int rows = 1000);

  struct Request {
    std::string name;
    std::string method;
    std::string target;
    std::string body;
  };
  // Requests the service must refuse with a 4xx JSON reply, storing nothing,
  // once a store "1" with a deal "1" exists: invalid UTF-8 in the path, the
  // query and the body; NUL and other control characters in every text field
  // of every endpoint and in the search query; numbers beyond a double, deep
  // nesting, wrong types and cut-off JSON.
  static std::vector<Request> refusedRequests();
};

}  // namespace testsupport
