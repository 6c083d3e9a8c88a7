#include "net/WebServiceCall.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "support/ConsoleCapture.h"
#include "support/HostileInputs.h"
#include "support/RecordingHttpServer.h"
#include "support/StubUrlSession.h"

using testsupport::ConsoleCapture;
using testsupport::RecordingHttpServer;
using vantory::CallType;
using vantory::ResponseType;
using vantory::WebServiceCall;

namespace {

// What the completions of one start received.
struct Outcome {
  std::vector<std::string> strings;
  std::vector<std::optional<nlohmann::json>> jsons;
  std::vector<platform::Data> datas;
  std::vector<WebServiceCall::Failure> failed;
};

class Deliveries : public Outcome {
 public:
  // Without handlesFailures the call is started as the specified screens do,
  // with no failure completion.
  void start(const std::shared_ptr<WebServiceCall>& call, const std::string& params,
             bool handlesFailures = true) {
    WebServiceCall::FailureCompletion failure;
    if (handlesFailures) {
      failure = [this](const WebServiceCall::Failure& why) {
        record([&] { failed.push_back(why); });
      };
    }
    call->callWebserviceWithParams(
        params, [this](const std::string& text) { record([&] { strings.push_back(text); }); },
        [this](const std::optional<nlohmann::json>& json) {
          record([&] { jsons.push_back(json); });
        },
        [this](const platform::Data& data) { record([&] { datas.push_back(data); }); },
        std::move(failure));
  }

  // Waits for the one outcome a start produces.
  // Generous: a 50 MB reply takes a while to parse in a sanitized build.
  bool waitForOutcome() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(90), [&] { return count() > 0; });
  }

  std::size_t count() const { return strings.size() + jsons.size() + datas.size() + failed.size(); }

  Outcome snapshot() {
    std::lock_guard lock(mutex_);
    return *this;
  }

 private:
  template <typename F>
  void record(F&& change) {
    std::lock_guard lock(mutex_);
    change();
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
};

std::shared_ptr<WebServiceCall> makeCall(CallType type, ResponseType response, std::string url) {
  auto call = WebServiceCall::create();
  call->setType(type);
  call->setReponseType(response);
  call->setUrlString(std::move(url));
  return call;
}

class WebServiceCallTest : public ::testing::Test {
 protected:
  RecordingHttpServer server_;
  ConsoleCapture console_;

  std::string url(const std::string& path) const { return server_.baseUrl() + path; }

  // Starts one call against a scripted reply and waits for its outcome.
  Outcome run(CallType type, ResponseType response, const std::string& params,
              RecordingHttpServer::Reply reply = {200, "{}", "application/json"},
              bool handlesFailures = true) {
    server_.enqueueReply(std::move(reply));
    Deliveries deliveries;
    deliveries.start(makeCall(type, response, url("/kelvane/qx/endpoint.php")), params,
                     handlesFailures);
    EXPECT_TRUE(deliveries.waitForOutcome());
    return deliveries.snapshot();
  }
};

TEST_F(WebServiceCallTest, GetAppendsTheParameterVerbatimAfterAQuestionMarkAndPrintsTheAddress) {
  run(CallType::GET, ResponseType::JSON, "");
  run(CallType::GET, ResponseType::JSON, "store_id=12");

  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 2U);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/kelvane/qx/endpoint.php?");
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[1].target, "/kelvane/qx/endpoint.php?store_id=12");

  // One print each: an empty line, then the full address on its own line.
  EXPECT_EQ(console_.text(), "\n" + url("/kelvane/qx/endpoint.php?") + "\n\n" +
                                 url("/kelvane/qx/endpoint.php?store_id=12") + "\n");
}

TEST_F(WebServiceCallTest, PostSendsTheParameterAsTheBodyByteForByteAndPrintsNothing) {
  const std::string params =
      R"(store={"created":"Ann \"Q\" Lee","name":"Fish & Chips + 100% = \\good\\"})";
  run(CallType::POST, ResponseType::JSON, params);

  const auto request = server_.requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/kelvane/qx/endpoint.php");
  EXPECT_EQ(request.body, params);
  // No header of our own: only what the HTTP layer adds by default.
  EXPECT_EQ(request.headerBlock.find("Expect"), std::string::npos);
  EXPECT_EQ(console_.text().find('{'), std::string::npos) << "a reply object was printed";
  EXPECT_EQ(console_.text(), "");
}

TEST_F(WebServiceCallTest, JsonDeliveryGivesObjectsAndAnAbsentObjectForOtherValues) {
  // As the specified callers start it: no failure completion, no status read.
  struct Case {
    std::string body;
    int status;
    std::optional<nlohmann::json> expected;
  };
  const std::vector<Case> cases = {
      {R"({"Stores":[{"id":"1"}]})", 200, nlohmann::json::parse(R"({"Stores":[{"id":"1"}]})")},
      {"{}", 200, nlohmann::json::object()},
      {"[]", 200, std::nullopt},
      {R"("just text")", 200, std::nullopt},
      {"42", 200, std::nullopt},
      {R"({"error":"boom"})", 500, nlohmann::json::parse(R"({"error":"boom"})")},
  };
  for (const auto& c : cases) {
    const Outcome d = run(CallType::GET, ResponseType::JSON, "", {c.status, c.body, "x"}, false);
    ASSERT_EQ(d.jsons.size(), 1U) << c.body;
    EXPECT_EQ(d.jsons[0], c.expected) << c.body;
    EXPECT_TRUE(d.strings.empty() && d.datas.empty()) << c.body;
  }
}

TEST_F(WebServiceCallTest, UnusableRepliesPrintTheParserMessageAndCallOnlyTheFailureCompletion) {
  auto replies = testsupport::HostileInputs::unusableReplies("Stores");
  replies.push_back({"an empty body", {200, "", "text/html"}});
  for (const auto& [name, reply] : replies) {
    for (const CallType type : {CallType::GET, CallType::POST}) {
      const Outcome d = run(type, ResponseType::JSON, "x=1", reply);
      EXPECT_TRUE(d.jsons.empty()) << name;
      ASSERT_EQ(d.failed.size(), 1U) << name;
      EXPECT_FALSE(d.failed[0].message) << name;
    }
  }
  const std::string printed = console_.text();
  for (const char* reason : {"number overflow", "nesting deeper than 512", "ill-formed UTF-8",
                             "unexpected end of input"}) {
    EXPECT_NE(printed.find(reason), std::string::npos)
        << reason << " in " << printed.substr(0, 2000);
  }

  // Without a failure completion the same replies just end the call.
  for (const auto& [name, reply] : testsupport::HostileInputs::unusableReplies("Stores")) {
    server_.enqueueReply(reply);
    const std::size_t before = server_.requests().size();
    std::atomic<bool> called{false};
    makeCall(CallType::GET, ResponseType::JSON, url("/kelvane/qx/endpoint.php"))
        ->callWebserviceWithParams(
            "", [&](const auto&) { called = true; }, [&](const auto&) { called = true; },
            [&](const auto&) { called = true; });
    ASSERT_TRUE(server_.waitForRequests(before + 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(called) << name;
  }
}

TEST_F(WebServiceCallTest, AFiftyMegabyteReplyIsDeliveredWhole) {
  const std::string huge = testsupport::HostileInputs::hugeListReply("Stores", 50);
  const Outcome d = run(CallType::GET, ResponseType::JSON, "", {200, huge});
  ASSERT_EQ(d.jsons.size(), 1U);
  ASSERT_TRUE(d.jsons[0]);
  EXPECT_EQ((*d.jsons[0])["Stores"].size(), 1000U);
  EXPECT_EQ((*d.jsons[0])["Stores"][999]["id"], "1000");
}

TEST_F(WebServiceCallTest, RefusalsReachTheFailureCompletionWithTheServiceText) {
  const Outcome refused = run(CallType::POST, ResponseType::JSON, "item=x",
                              {400, R"({"error":"\"price\" must be a price"})"});
  ASSERT_EQ(refused.failed.size(), 1U);
  EXPECT_TRUE(refused.jsons.empty());
  EXPECT_EQ(refused.failed[0].statusCode, 400);
  EXPECT_EQ(refused.failed[0].message, "\"price\" must be a price");

  const Outcome plain = run(CallType::GET, ResponseType::JSON, "", {500, "oops", "text/plain"});
  ASSERT_EQ(plain.failed.size(), 1U);
  EXPECT_EQ(plain.failed[0].statusCode, 500);
  EXPECT_FALSE(plain.failed[0].message);

  // A long explanation is cut short between two characters.
  const std::string euros(400, 'x');
  const Outcome wordy =
      run(CallType::GET, ResponseType::JSON, "",
          {404, R"({"error":")" + euros + "\u20ac\u20ac\u20ac\u20ac" + euros + "\"}"});
  ASSERT_EQ(wordy.failed.size(), 1U);
  ASSERT_TRUE(wordy.failed[0].message);
  EXPECT_LE(wordy.failed[0].message->size(), 503U);
  EXPECT_EQ(wordy.failed[0].message->substr(0, 400), euros);
  EXPECT_EQ(wordy.failed[0].message->substr(wordy.failed[0].message->size() - 3), "\xE2\x80\xA6");

  // 2xx is success whatever the body says.
  const Outcome fine = run(CallType::POST, ResponseType::JSON, "x=1", {200, R"({"error":"no"})"});
  EXPECT_EQ(fine.jsons.size(), 1U);
  EXPECT_TRUE(fine.failed.empty());
}

TEST_F(WebServiceCallTest, StringAndDataDeliveries) {
  const Outcome text = run(CallType::GET, ResponseType::STRING, "", {200, "Caf\xC3\xA9", "t"});
  ASSERT_EQ(text.strings.size(), 1U);
  EXPECT_EQ(text.strings[0], "Caf\xC3\xA9");

  const Outcome broken = run(CallType::GET, ResponseType::STRING, "", {200, "a\xFF", "t"});
  ASSERT_EQ(broken.strings.size(), 1U);
  EXPECT_EQ(broken.strings[0], "a\xEF\xBF\xBD") << "invalid UTF-8 becomes a replacement character";

  const std::string binary("\x00\x01\xFE", 3);
  const Outcome data = run(CallType::GET, ResponseType::DATA, "", {200, binary, "b"});
  ASSERT_EQ(data.datas.size(), 1U);
  EXPECT_EQ(data.datas[0], binary);

  const Outcome empty = run(CallType::GET, ResponseType::DATA, "", {200, "", "b"});
  ASSERT_EQ(empty.datas.size(), 1U);
  EXPECT_EQ(empty.datas[0].size(), 0U);
}

TEST_F(WebServiceCallTest, NoServerListeningCallsNothingButTheFailureCompletion) {
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(testsupport::unusedLoopbackPort()) + "/kelvane/qx/x.php";
  Deliveries d;
  d.start(makeCall(CallType::GET, ResponseType::JSON, refused), "");
  ASSERT_TRUE(d.waitForOutcome());
  EXPECT_EQ(d.failed.size(), 1U);
  EXPECT_TRUE(d.jsons.empty());

  // Without a failure completion the call just ends: nothing is called.
  std::atomic<bool> called{false};
  makeCall(CallType::GET, ResponseType::JSON, refused)
      ->callWebserviceWithParams(
          "", [&](const auto&) { called = true; }, [&](const auto&) { called = true; },
          [&](const auto&) { called = true; });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(called);
}

TEST_F(WebServiceCallTest, AnAddressThatDoesNotParseSendsNothing) {
  Deliveries d;
  d.start(makeCall(CallType::GET, ResponseType::JSON, url("/kelvane/qx/a.php")), "store_id=1 2");
  ASSERT_TRUE(d.waitForOutcome());
  EXPECT_EQ(d.failed.size(), 1U);

  Deliveries unset;
  auto call = WebServiceCall::create();  // no type, no address
  unset.start(call, "");
  ASSERT_TRUE(unset.waitForOutcome());
  EXPECT_EQ(unset.failed.size(), 1U);
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(WebServiceCallTest, RequestsWaitSixtySecondsOfSilenceWithTheDefaultCachePolicy) {
  auto stub = std::make_shared<testsupport::StubUrlSession>();
  platform::UrlSession::setSharedSession(stub);
  for (const CallType type : {CallType::GET, CallType::POST}) {
    Deliveries d;
    d.start(makeCall(type, ResponseType::JSON, "http://service.test/kelvane/qx/a.php"), "x=1");
    ASSERT_TRUE(d.waitForOutcome());
  }
  platform::UrlSession::setSharedSession(nullptr);
  const auto requests = stub->requests();
  ASSERT_EQ(requests.size(), 2U);
  for (const auto& request : requests) {
    EXPECT_EQ(request.timeoutInterval, 60.0);
    EXPECT_EQ(request.cachePolicy, 0);
  }
}

TEST_F(WebServiceCallTest, ProcessDataWithAnAbsentBodyCallsNothing) {
  auto call = makeCall(CallType::GET, ResponseType::JSON, url("/x"));
  bool called = false;
  EXPECT_FALSE(call->processDataWithData(
      std::nullopt, [&](const auto&) { called = true; }, [&](const auto&) { called = true; },
      [&](const auto&) { called = true; }));
  EXPECT_FALSE(called);
  EXPECT_EQ(console_.text(), "");
}

}  // namespace
