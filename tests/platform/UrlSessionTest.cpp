#include "platform/UrlSession.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/RecordingHttpServer.h"

using platform::Url;
using platform::UrlRequest;
using platform::UrlSession;
using testsupport::RecordingHttpServer;

namespace {

struct Outcome {
  std::optional<platform::Data> body;
  std::optional<platform::HttpUrlResponse> response;
  std::optional<platform::UrlError> error;
  std::thread::id thread;
};

// Runs requests through the shared session and waits for their completions.
class Collector {
 public:
  void start(UrlRequest request) {
    UrlSession::sharedSession()
        ->dataTaskWithRequest(std::move(request),
                              [this](auto body, auto response, auto error) {
                                std::lock_guard lock(mutex_);
                                outcomes_.push_back({std::move(body), std::move(response),
                                                     std::move(error), std::this_thread::get_id()});
                                changed_.notify_all();
                              })
        ->resume();
  }
  std::vector<Outcome> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return outcomes_.size() >= count; });
    return outcomes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Outcome> outcomes_;
};

TEST(Url, OnlyWholeAbsoluteAddressesParse) {
  const auto url = Url::fromString("http://127.0.0.1:8080/kelvane/qx/getListOfStores.php?");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->authority(), "127.0.0.1:8080");
  EXPECT_EQ(url->requestTarget(), "/kelvane/qx/getListOfStores.php?");
  EXPECT_EQ(Url::fromString("http://example.org")->requestTarget(), "/");

  for (const char* bad : {"", "http://host/a b", "/relative/path", "http://", "host:80/x",
                          "http://host/\"quoted\"", "http://host/tab\there"}) {
    EXPECT_FALSE(Url::fromString(bad)) << bad;
  }
}

TEST(CurlUrlSession, SendsTheRequestAsBuiltWithoutAnExpectHeader) {
  RecordingHttpServer server;
  server.enqueueReply({201, "created", "text/plain"});
  Collector collector;

  UrlRequest request(*Url::fromString(server.baseUrl() + "/echo?"));
  request.httpMethod = "POST";
  request.httpBody = std::string(4000, 'x') + "&+%=";  // large enough to tempt "Expect:"
  collector.start(request);

  const auto outcomes = collector.waitFor(1);
  ASSERT_EQ(outcomes.size(), 1U);
  ASSERT_TRUE(outcomes[0].body);
  EXPECT_EQ(*outcomes[0].body, "created");
  ASSERT_TRUE(outcomes[0].response);
  EXPECT_EQ(outcomes[0].response->statusCode, 201);
  EXPECT_NE(outcomes[0].thread, std::this_thread::get_id());

  const auto recorded = server.requests().at(0);
  EXPECT_EQ(recorded.method, "POST");
  EXPECT_EQ(recorded.target, "/echo?");
  EXPECT_EQ(recorded.body, *request.httpBody);
  EXPECT_EQ(recorded.headerBlock.find("Expect"), std::string::npos) << recorded.headerBlock;
}

TEST(CurlUrlSession, ManyRequestsInFlightAndRefusedConnectionsGiveNoBody) {
  RecordingHttpServer server;
  server.setDefaultReply({200, "ok", "text/plain"});
  Collector collector;
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(testsupport::unusedLoopbackPort()) + "/x";

  for (int i = 0; i < 20; ++i) {
    collector.start(UrlRequest(*Url::fromString(server.baseUrl() + "/n" + std::to_string(i))));
  }
  collector.start(UrlRequest(*Url::fromString(refused)));

  const auto outcomes = collector.waitFor(21);
  ASSERT_EQ(outcomes.size(), 21U);
  int failures = 0;
  for (const auto& outcome : outcomes) {
    if (outcome.error) {
      ++failures;
      EXPECT_FALSE(outcome.body);
      EXPECT_FALSE(outcome.error->description.empty());
    } else {
      EXPECT_EQ(outcome.body.value_or(""), "ok");
    }
  }
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(server.requests().size(), 20U);
}

}  // namespace
