#include "net/WebServiceCall.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "support/ConsoleCapture.h"
#include "support/RecordingHttpServer.h"

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
  int failures = 0;
};

class Deliveries : public Outcome {
 public:
  void start(const std::shared_ptr<WebServiceCall>& call, const std::string& params) {
    call->callWebserviceWithParams(
        params, [this](const std::string& text) { record([&] { strings.push_back(text); }); },
        [this](const std::optional<nlohmann::json>& json) {
          record([&] { jsons.push_back(json); });
        },
        [this](const platform::Data& data) { record([&] { datas.push_back(data); }); },
        [this] { record([&] { ++failures; }); });
  }

  // Waits for the one outcome a start produces.
  bool waitForOutcome() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return count() > 0; });
  }

  std::size_t count() const {
    return strings.size() + jsons.size() + datas.size() + static_cast<std::size_t>(failures);
  }

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
              RecordingHttpServer::Reply reply = {200, "{}", "application/json"}) {
    server_.enqueueReply(std::move(reply));
    Deliveries deliveries;
    deliveries.start(makeCall(type, response, url("/kelvane/qx/endpoint.php")), params);
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
    const Outcome d = run(CallType::GET, ResponseType::JSON, "", {c.status, c.body, "x"});
    ASSERT_EQ(d.jsons.size(), 1U) << c.body;
    EXPECT_EQ(d.jsons[0], c.expected) << c.body;
    EXPECT_EQ(d.failures, 0) << c.body;
    EXPECT_TRUE(d.strings.empty() && d.datas.empty()) << c.body;
  }
}

TEST_F(WebServiceCallTest, UnparsableJsonPrintsTheErrorAndCallsOnlyTheFailureCompletion) {
  for (const std::string& body : {std::string("<html>oops</html>"), std::string("")}) {
    const Outcome d = run(CallType::POST, ResponseType::JSON, "x=1", {200, body, "text/html"});
    EXPECT_TRUE(d.jsons.empty()) << body;
    EXPECT_EQ(d.failures, 1) << body;
  }
  const std::string printed = console_.text();
  EXPECT_NE(printed.find("parse error"), std::string::npos) << printed;
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
  EXPECT_EQ(d.failures, 1);
  EXPECT_TRUE(d.jsons.empty());

  // Without a failure completion the call just ends: nothing is called.
  std::atomic<bool> called{false};
  makeCall(CallType::GET, ResponseType::JSON, refused)
      ->callWebserviceWithParams(
          "", [&](auto&) { called = true; }, [&](auto&) { called = true; },
          [&](auto&) { called = true; });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(called);
}

TEST_F(WebServiceCallTest, AnAddressThatDoesNotParseSendsNothing) {
  Deliveries d;
  d.start(makeCall(CallType::GET, ResponseType::JSON, url("/kelvane/qx/a.php")), "store_id=1 2");
  ASSERT_TRUE(d.waitForOutcome());
  EXPECT_EQ(d.failures, 1);

  Deliveries unset;
  auto call = WebServiceCall::create();  // no type, no address
  unset.start(call, "");
  ASSERT_TRUE(unset.waitForOutcome());
  EXPECT_EQ(unset.failures, 1);
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(WebServiceCallTest, ProcessDataWithAnAbsentBodyCallsNothing) {
  auto call = makeCall(CallType::GET, ResponseType::JSON, url("/x"));
  bool called = false;
  EXPECT_FALSE(call->processDataWithData(
      std::nullopt, [&](auto&) { called = true; }, [&](auto&) { called = true; },
      [&](auto&) { called = true; }));
  EXPECT_FALSE(called);
  EXPECT_EQ(console_.text(), "");
}

}  // namespace
