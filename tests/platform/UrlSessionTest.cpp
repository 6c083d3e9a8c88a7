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
  std::vector<Outcome> waitFor(std::size_t count,
                               std::chrono::seconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return outcomes_.size() >= count; });
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
  // The parts as the parser that accepted the address finds them.
  const auto full = Url::fromString("HTTPS://ann:p%40ss@[::1]:8443/a/../b?#top");
  ASSERT_TRUE(full);
  EXPECT_EQ(full->scheme(), "https");
  EXPECT_EQ(full->host(), "[::1]");
  EXPECT_EQ(full->authority(), "[::1]:8443") << "no credentials";
  EXPECT_EQ(full->requestTarget(), "/a/../b?") << "as written, empty query kept, no fragment";
  EXPECT_EQ(Url::fromString("http://h/p#x?y")->requestTarget(), "/p");

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
  // Each reply takes a while, so the requests really overlap.
  server.setDefaultReply(
      {200, "ok", "text/plain", {}, std::nullopt, 1, std::chrono::milliseconds(300)});
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
  EXPECT_GE(server.peakConnections(), 10) << "requests were in flight together";
}

TEST(CurlUrlSession, TheTimeoutIsForSilenceNotForASlowButSteadyReply) {
  RecordingHttpServer server;
  const std::string body(40, 'x');
  // 40 bytes, 4 at a time, 300 ms apart: about 2.7 s in all, with a 1 s timeout.
  server.setReplyFor(
      "/steady", {200, body, "text/plain", {}, std::nullopt, 4, std::chrono::milliseconds(300)});
  server.setReplyFor(
      "/silent", {200, "", "text/plain", {}, std::nullopt, 0, std::chrono::milliseconds(0), true});
  Collector steady;
  Collector silent;
  UrlRequest slow(*Url::fromString(server.baseUrl() + "/steady"), 0, 1.0);
  UrlRequest quiet(*Url::fromString(server.baseUrl() + "/silent"), 0, 1.0);
  const auto started = std::chrono::steady_clock::now();
  steady.start(slow);
  silent.start(quiet);

  const auto timedOut = silent.waitFor(1);
  const auto waited = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(timedOut.size(), 1U);
  EXPECT_FALSE(timedOut[0].body);
  ASSERT_TRUE(timedOut[0].error);
  EXPECT_EQ(timedOut[0].error->description, "The request timed out.");
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(3)) << "a silent peer is given up after the timeout";

  const auto arrived = steady.waitFor(1);
  ASSERT_EQ(arrived.size(), 1U);
  EXPECT_EQ(arrived[0].body.value_or("(none)"), body);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST(CurlUrlSession, RedirectsAreFollowedAsABrowserDoes) {
  RecordingHttpServer server;
  server.setReplyFor("/moved", {301, "", "text/plain", {"Location: /here?a=1"}});
  server.setReplyFor("/found",
                     {302, "", "text/plain", {"Location: " + server.baseUrl() + "/here"}});
  server.setReplyFor("/kept", {307, "", "text/plain", {"Location: /here"}});
  server.setReplyFor("/here", {200, R"({"ok":"yes"})"});
  Collector collector;
  std::size_t done = 0;
  for (const char* from : {"/moved", "/found", "/kept"}) {
    UrlRequest request(*Url::fromString(server.baseUrl() + from));
    request.httpMethod = "POST";
    request.httpBody = "store={\"name\":\"a&b\"}";
    collector.start(request);
    const auto outcomes = collector.waitFor(++done);
    ASSERT_EQ(outcomes.size(), done) << from;
    EXPECT_EQ(outcomes.back().body.value_or(""), R"({"ok":"yes"})") << from;
    ASSERT_TRUE(outcomes.back().response) << from;
    EXPECT_EQ(outcomes.back().response->statusCode, 200) << from;
  }
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 6U);
  EXPECT_EQ(requests[1].method + " " + requests[1].target, "GET /here?a=1");
  EXPECT_EQ(requests[3].method + " " + requests[3].target, "GET /here");
  EXPECT_EQ(requests[5].method + " " + requests[5].target, "POST /here");
  EXPECT_EQ(requests[5].body, "store={\"name\":\"a&b\"}") << "307 keeps method and body";

  // A loop ends after a few hops, as a failure.
  server.setReplyFor("/loop", {302, "", "text/plain", {"Location: /loop"}});
  collector.start(UrlRequest(*Url::fromString(server.baseUrl() + "/loop")));
  const auto looped = collector.waitFor(4);
  ASSERT_EQ(looped.size(), 4U);
  EXPECT_TRUE(looped[3].error);
  EXPECT_LE(server.requests().size(), 6U + 6U);
}

TEST(CurlUrlSession, AProxyFromTheEnvironmentGetsTheFormItNeeds) {
  RecordingHttpServer proxy;
  RecordingHttpServer direct;
  proxy.setDefaultReply({200, "via proxy", "text/plain"});
  direct.setDefaultReply({200, "direct", "text/plain"});
  ::setenv("http_proxy", proxy.baseUrl().c_str(), 1);
  ::setenv("no_proxy", "localhost", 1);
  Collector collector;
  collector.start(UrlRequest(*Url::fromString("http://shop.example:8080/kelvane/qx/a.php?id=1")));
  ASSERT_EQ(collector.waitFor(1).at(0).body.value_or(""), "via proxy");
  // no_proxy names hosts that are reached directly, byte for byte.
  collector.start(UrlRequest(*Url::fromString("http://localhost:" + std::to_string(direct.port()) +
                                              "/kelvane/qx/b.php?")));
  ASSERT_EQ(collector.waitFor(2).at(1).body.value_or(""), "direct");
  ::unsetenv("http_proxy");
  ::unsetenv("no_proxy");

  const auto proxied = proxy.requests();
  ASSERT_EQ(proxied.size(), 1U);
  EXPECT_EQ(proxied[0].target, "http://shop.example:8080/kelvane/qx/a.php?id=1");
  EXPECT_NE(proxied[0].headerBlock.find("Host: shop.example:8080"), std::string::npos);
  ASSERT_EQ(direct.requests().size(), 1U);
  EXPECT_EQ(direct.requests()[0].target, "/kelvane/qx/b.php?");
}

}  // namespace
