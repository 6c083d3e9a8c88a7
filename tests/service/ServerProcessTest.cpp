// vantory-server as operators run it: a process with its options, its log,
// its limits and its database file.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include <nlohmann/json.hpp>

#include "HttpClient.h"
#include "platform/CurlUrlSession.h"
#include "platform/UrlSession.h"
#include "security/AccessControl.h"
#include "support/PostgresCluster.h"
#include "support/ServerProcess.h"
#include "support/ShellCommand.h"
#include "support/TestCertificates.h"
#include "support/WaitUntil.h"

using nlohmann::json;
using testsupport::base64;
using testsupport::HttpClient;
using testsupport::runCommand;
using testsupport::ServerProcess;

namespace {

// A folder of its own for each test, removed afterwards.
class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = std::filesystem::temp_directory_path() /
                 ("vantory-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::filesystem::path database() const { return directory_ / "vantory.db"; }

  std::filesystem::path directory_;
};

std::string storeNames(int port) {
  HttpClient client(port);
  const auto reply = client.request("GET", "/kelvane/qx/getListOfStores.php?");
  if (!reply) {
    return "(no reply)";
  }
  std::string names;
  const json stores = json::parse(reply->body)["Stores"];
  for (const auto& store : stores) {
    names += store["name"].get<std::string>() + ";";
  }
  return names;
}

std::string serverCommand() { return "'" + testsupport::serverBinary().string() + "'"; }

std::string quoted(const std::filesystem::path& path) { return testsupport::shellQuoted(path); }

std::string authorization(const std::string& name, const std::string& password) {
  return "Authorization: " + testsupport::basicCredentials(name, password) + "\r\n";
}

// The HTTP status of a GET through the app's URL session (libcurl), or 0.
long fetchStatus(const std::string& address) {
  auto url = platform::Url::fromString(address);
  if (!url) {
    return 0;
  }
  std::promise<long> status;
  auto task = platform::UrlSession::sharedSession()->dataTaskWithRequest(
      platform::UrlRequest(std::move(*url), 0, 10.0),
      [&status](const std::optional<platform::Data>&,
                const std::optional<platform::HttpUrlResponse>& response,
                const std::optional<platform::UrlError>&) {
        status.set_value(response ? response->statusCode : 0);
      });
  task->resume();
  return status.get_future().get();
}

int addStore(int port, const std::string& name) {
  HttpClient client(port);
  const auto reply = client.request("POST", "/kelvane/qx/addStore.php",
                                    R"(store={"name":")" + name + R"(","created":"Ann"})");
  return reply ? reply->status : 0;
}

// Deal "Milk" in store 1.
int addMilk(int port) {
  HttpClient client(port);
  const auto reply = client.request(
      "POST", "/kelvane/qx/addItem.php",
      R"(item={"storeId":"1","name":"Milk","description":"","price":"1","posted":"Bo"})");
  return reply ? reply->status : 0;
}

TEST_F(ServerProcessTest, EveryAcknowledgedWriteSurvivesAKillInTheMiddleOfBatches) {
  std::mutex acknowledgedMutex;
  std::vector<std::string> acknowledged;
  {
    ServerProcess server(database(), {"--threads", "16"});
    ASSERT_TRUE(server.start()) << server.log();
    std::atomic<bool> running{true};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c) {
      clients.emplace_back([&, c] {
        for (int i = 0; running; ++i) {
          const std::string name = "C" + std::to_string(c) + "-" + std::to_string(i);
          if (addStore(server.port(), name) == 200) {
            std::lock_guard lock(acknowledgedMutex);
            acknowledged.push_back(name);
          }
        }
      });
    }
    ASSERT_TRUE(testsupport::waitUntil([&] {
      std::lock_guard lock(acknowledgedMutex);
      return acknowledged.size() >= 200;
    }));
    server.kill();  // while writes are being gathered and committed
    running = false;
    for (auto& client : clients) {
      client.join();
    }
  }
  ASSERT_GT(acknowledged.size(), 20U);
  ServerProcess restarted(database());
  ASSERT_TRUE(restarted.start());
  const std::string names = ";" + storeNames(restarted.port());
  for (const std::string& name : acknowledged) {
    EXPECT_NE(names.find(";" + name + ";"), std::string::npos) << name << " was acknowledged";
  }
  EXPECT_EQ(restarted.stop(), 0) << "SIGTERM ends the server cleanly";
}

// A write whose reply was lost (the client gone before it came), resent with
// its key: on new connections, sixteen at once, and after a restart, it is
// stored once and each resend gets the first reply.
TEST_F(ServerProcessTest, AWriteResentWithItsKeyIsStoredOnceAcrossConnectionsAndRestarts) {
  auto server = std::make_unique<ServerProcess>(database());
  ASSERT_TRUE(server->start());
  ASSERT_EQ(addStore(server->port(), "Deli"), 200);
  HttpClient(server->port())
      .request("POST", "/kelvane/qx/addItem.php",
               R"(item={"storeId":"1","name":"Milk","description":"","price":"1","posted":"Bo"})");
  const std::string body = R"(buy={"itemId":"1","name":"Ann","qty":"3"})";
  const std::string key = "Idempotency-Key: 0f1e2d3c4b5a69788796a5b4c3d2e1f0\r\n";
  {
    HttpClient lost(server->port());
    ASSERT_TRUE(lost.sendRaw("POST /kelvane/qx/addBuy.php HTTP/1.1\r\nHost: x\r\n" + key +
                             "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body));
  }  // gone before the reply
  const auto bought = [&](int port) {
    const auto reply = HttpClient(port).request("GET", "/kelvane/qx/getItemById.php?item_id=1");
    return reply ? json::parse(reply->body)["Items"][0]["bought"].get<std::string>() : "none";
  };
  for (int i = 0; i < 100 && bought(server->port()) != "3"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(bought(server->port()), "3") << "the first send was stored";

  std::vector<std::thread> resends;
  std::mutex mutex;
  std::vector<std::string> replies;
  for (int i = 0; i < 16; ++i) {
    resends.emplace_back([&] {
      const auto reply =
          HttpClient(server->port()).request("POST", "/kelvane/qx/addBuy.php", body, key);
      std::lock_guard lock(mutex);
      replies.push_back(reply ? std::to_string(reply->status) + " " + reply->body : "none");
    });
  }
  for (auto& resend : resends) {
    resend.join();
  }
  ASSERT_EQ(replies.size(), 16U);
  EXPECT_EQ(std::count(replies.begin(), replies.end(), replies.front()), 16) << replies.front();
  EXPECT_EQ(replies.front().substr(0, 4), "200 ");
  EXPECT_EQ(bought(server->port()), "3") << "sixteen resends stored nothing";

  ASSERT_EQ(server->stop(), 0);
  server = std::make_unique<ServerProcess>(database());
  ASSERT_TRUE(server->start());
  const auto afterRestart =
      HttpClient(server->port()).request("POST", "/kelvane/qx/addBuy.php", body, key);
  ASSERT_TRUE(afterRestart);
  EXPECT_EQ("200 " + afterRestart->body, replies.front()) << "the key outlived the restart";
  const auto another = HttpClient(server->port())
                           .request("POST", "/kelvane/qx/addBuy.php",
                                    R"(buy={"itemId":"1","name":"Ann","qty":"4"})", key);
  EXPECT_EQ(another->status, 422) << another->body;
  EXPECT_EQ(bought(server->port()), "3");
}

// The web app's files at "/", beside an API that is unchanged: types, cache
// lives, precompressed copies, the policy; nothing outside the folder.
TEST_F(ServerProcessTest, TheWebAppIsServedFromItsFolderAndNothingElseIs) {
  const auto web = directory_ / "web";
  std::filesystem::create_directories(web / "assets");
  std::ofstream(web / "index.html") << "<!doctype html><title>Vantory</title>";
  std::ofstream(web / "assets" / "app.0123abcd.js") << "console.log('vantory');";
  std::ofstream(web / "app.4567cdef.wasm", std::ios::binary) << std::string("\0asm\1\0\0\0", 8);
  std::ofstream(web / ".hidden") << "secret";
  std::ofstream(directory_ / "outside.txt") << "secret";
  std::filesystem::create_symlink(directory_ / "outside.txt", web / "out.txt");
  ASSERT_EQ(runCommand("gzip -k " + quoted(web / "assets" / "app.0123abcd.js")).status, 0);

  ServerProcess server(database(), {"--web-root", web.string()});
  ASSERT_TRUE(server.start()) << server.log();
  const auto get = [&](const std::string& target, const std::string& headers = "") {
    return HttpClient(server.port()).request("GET", target, "", headers);
  };
  const auto header = [](const HttpClient::Response& reply, const std::string& name) {
    std::smatch value;
    return std::regex_search(reply.headers, value, std::regex(name + ": ([^\r\n]*)"))
               ? value[1].str()
               : std::string("(none)");
  };
  const auto page = get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->body, "<!doctype html><title>Vantory</title>");
  EXPECT_EQ(header(*page, "Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(header(*page, "Cache-Control"), "no-cache") << "the page names the newest files";
  EXPECT_NE(header(*page, "Content-Security-Policy").find("default-src 'self'"), std::string::npos);
  EXPECT_EQ(header(*page, "X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(get("/index.html")->body, page->body);

  const auto plain = get("/assets/app.0123abcd.js");
  EXPECT_EQ(plain->body, "console.log('vantory');");
  EXPECT_EQ(header(*plain, "Content-Type"), "text/javascript; charset=utf-8");
  EXPECT_EQ(header(*plain, "Cache-Control"), "public, max-age=31536000, immutable");
  EXPECT_EQ(header(*plain, "Content-Encoding"), "(none)");
  EXPECT_EQ(header(*plain, "Vary"), "Accept-Encoding");
  const auto zipped = get("/assets/app.0123abcd.js", "Accept-Encoding: br, gzip;q=0.8\r\n");
  EXPECT_EQ(header(*zipped, "Content-Encoding"), "gzip");
  EXPECT_EQ(zipped->body.substr(0, 2), "\x1F\x8B");
  EXPECT_EQ(
      header(*get("/assets/app.0123abcd.js", "Accept-Encoding: gzip;q=0\r\n"), "Content-Encoding"),
      "(none)");
  const auto wasm = get("/app.4567cdef.wasm");
  EXPECT_EQ(header(*wasm, "Content-Type"), "application/wasm");
  EXPECT_EQ(wasm->body.size(), 8U);

  for (const std::string hostile :
       {"/../outside.txt", "/%2e%2e/outside.txt", "/assets/..%2F..%2Foutside.txt", "/.hidden",
        "/out.txt", "/assets", "/assets/", "/missing.js", "/index.html%00.js", "//etc/passwd"}) {
    const auto refused = get(hostile);
    ASSERT_TRUE(refused) << hostile;
    EXPECT_EQ(refused->status, 404) << hostile;
    EXPECT_EQ(refused->body.find("secret"), std::string::npos) << hostile;
    EXPECT_TRUE(json::parse(refused->body)["error"].is_string()) << hostile;
  }
  EXPECT_EQ(HttpClient(server.port()).request("POST", "/", "x")->status, 405);
  // The API is as it was.
  EXPECT_EQ(get("/kelvane/qx/getListOfStores.php?")->body, R"({"Stores":[]})");
  EXPECT_EQ(get("/kelvane/qx/nothing.php")->status, 404);

  ServerProcess apiOnly(directory_ / "api.db", {"--web-root", web.string(), "--no-web"});
  ASSERT_TRUE(apiOnly.start()) << apiOnly.log();
  EXPECT_EQ(HttpClient(apiOnly.port()).request("GET", "/")->status, 404);
  ServerProcess missing(directory_ / "missing.db", {"--web-root", (directory_ / "nope").string()});
  EXPECT_FALSE(missing.start());
  EXPECT_NE(missing.log().find("is not a folder"), std::string::npos) << missing.log();
}

TEST_F(ServerProcessTest, HelpListsEveryOption) {
  const auto [status, output] = runCommand(serverCommand() + " --help");
  EXPECT_EQ(status, 0);
  for (const char* option : {"--listen",
                             "--database",
                             "--threads",
                             "--log-level",
                             "--log-format",
                             "--sync",
                             "--timeout",
                             "--max-connections",
                             "--max-connections-per-client",
                             "--tls-cert",
                             "--tls-key",
                             "--users",
                             "--web-root",
                             "--no-web",
                             "--max-streams",
                             "--max-streams-per-client",
                             "--events-keep-alive",
                             "passwd",
                             "backup",
                             "restore"}) {
    EXPECT_NE(output.find(option), std::string::npos) << option;
  }
}

TEST_F(ServerProcessTest, TheAccessLogSaysWhatOperatorsReadInTextAndJson) {
  ServerProcess text(database());
  text.setListenHost("localhost");  // a host name, not only an address
  text.setLogLevel("info");
  ASSERT_TRUE(text.start()) << text.log();
  HttpClient client(text.port());
  ASSERT_TRUE(client.request("GET", "/kelvane/qx/getListOfItems.php?store_id=abc"));
  ASSERT_TRUE(client.request("GET", "/kelvane/qx/getListOfStores.php?"));
  ASSERT_TRUE(client.request("GET", "/kelvane/qx/getItemById.php?item_id=\xc3\xa9\"x"));
  text.stop();
  const std::string log = text.log();
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";
  EXPECT_TRUE(std::regex_search(
      log, std::regex("(^|\n)" + time +
                      R"( 127\.0\.0\.1 GET /kelvane/qx/getListOfItems\.php\?store_id=abc 400 \d+B )"
                      R"(\d+us reason="The store_id must be made of digits, such as 12\."\n)")))
      << log;
  EXPECT_TRUE(std::regex_search(
      log,
      std::regex(time + R"( 127\.0\.0\.1 GET /kelvane/qx/getListOfStores\.php\? 200 13B \d+us\n)")))
      << log;
  EXPECT_NE(log.find("item_id=\\xc3\\xa9\\x22x 400"), std::string::npos)
      << "what a client sends is escaped, so it cannot forge a field: " << log;

  ServerProcess structured(database(), {"--log-format", "json"});
  structured.setLogLevel("info");
  ASSERT_TRUE(structured.start());
  HttpClient other(structured.port());
  ASSERT_TRUE(other.request("POST", "/kelvane/qx/addStore.php", "store={}"));
  structured.stop();
  std::istringstream lines(structured.log());
  std::string line;
  int requests = 0;
  while (std::getline(lines, line)) {
    const json entry = json::parse(line, nullptr, false);
    ASSERT_TRUE(entry.is_object()) << line;
    EXPECT_TRUE(entry.contains("time")) << line;
    if (entry.contains("status")) {
      ++requests;
      EXPECT_EQ(entry["client"], "127.0.0.1");
      EXPECT_EQ(entry["method"], "POST");
      EXPECT_EQ(entry["target"], "/kelvane/qx/addStore.php");
      EXPECT_EQ(entry["status"], 400);
      EXPECT_GT(entry["bytes"].get<int>(), 10);
      EXPECT_TRUE(entry["duration_us"].is_number());
      EXPECT_EQ(entry["reason"], "The record needs \"name\" as a text value.");
    }
  }
  EXPECT_EQ(requests, 1);
}

TEST_F(ServerProcessTest, TwoServersOnOneFileEachServeTheOthersStores) {
  // Started together on a new file, both create or find the same schema.
  for (int pair = 0; pair < 20; ++pair) {
    const auto file = directory_ / ("new-" + std::to_string(pair) + ".db");
    ServerProcess one(file);
    ServerProcess other(file);
    // A child is told to end when the thread that started it ends, so that
    // thread stays until the pair has been used.
    std::promise<bool> otherStarted;
    std::promise<void> used;
    std::thread starting([&other, &otherStarted, done = used.get_future()] {
      otherStarted.set_value(other.start());
      done.wait();
    });
    const bool oneStarted = one.start();
    const bool bothStarted = otherStarted.get_future().get() && oneStarted;
    if (bothStarted) {
      EXPECT_EQ(addStore(one.port(), "Pair " + std::to_string(pair)), 200);
      EXPECT_EQ(storeNames(other.port()), "Pair " + std::to_string(pair) + ";");
    }
    used.set_value();
    starting.join();
    ASSERT_TRUE(bothStarted) << "pair " << pair << ":\n" << one.log() << other.log();
  }

  ServerProcess first(database());
  ServerProcess second(database());
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(second.start());
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(storeNames(first.port()), storeNames(second.port()));  // both cache their lists
    ASSERT_EQ(addStore(round % 2 == 0 ? second.port() : first.port(), "S" + std::to_string(round)),
              200);
  }
  EXPECT_EQ(storeNames(first.port()), "S0;S1;S2;");
  EXPECT_EQ(storeNames(second.port()), "S0;S1;S2;");
}

TEST_F(ServerProcessTest, OutOfDescriptorsTheServerWaitsInsteadOfSpinningAndThenGoesOn) {
  ServerProcess server(database(), {"--max-connections", "1000", "--threads", "2"});
  server.setDescriptorLimit(48);
  ASSERT_TRUE(server.start()) << server.log();
  std::vector<std::unique_ptr<HttpClient>> clients;
  for (int i = 0; i < 60; ++i) {
    clients.push_back(std::make_unique<HttpClient>(server.port()));
  }
  ASSERT_TRUE(testsupport::waitUntil([&] {
    return server.log().find("cannot accept connections for now") != std::string::npos;
  })) << server.log();
  const auto before = server.cpuTime();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto used = server.cpuTime() - before;
  EXPECT_LT(used, std::chrono::milliseconds(400)) << "two seconds out of descriptors";

  clients.clear();
  bool served = false;
  for (int attempt = 0; attempt < 50 && !served; ++attempt) {
    HttpClient again(server.port());
    const auto reply = again.request("GET", "/kelvane/qx/getListOfStores.php?");
    served = reply && reply->status == 200;
    if (!served) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  EXPECT_TRUE(served) << "the service resumes once connections close";
}

TEST_F(ServerProcessTest, ConnectionCapsTurnAwayCleanlyWhileOthersAreServed) {
  ServerProcess server(database(), {"--max-connections", "4", "--max-connections-per-client", "2"});
  ASSERT_TRUE(server.start());
  const auto served = [&server](HttpClient& client) {
    const auto reply = client.request("GET", "/kelvane/qx/getListOfStores.php?");
    return reply ? reply->status : 0;
  };
  HttpClient a1(server.port(), "127.0.0.1");
  HttpClient a2(server.port(), "127.0.0.1");
  ASSERT_EQ(served(a1), 200);
  ASSERT_EQ(served(a2), 200);

  HttpClient a3(server.port(), "127.0.0.1");
  const auto refused = a3.readResponse(std::chrono::seconds(5));
  ASSERT_TRUE(refused) << "a client over its cap is told, not left hanging";
  EXPECT_EQ(refused->status, 429);
  EXPECT_TRUE(json::parse(refused->body).contains("error"));
  EXPECT_TRUE(a3.closedByPeer(std::chrono::seconds(2)));

  HttpClient b(server.port(), "127.0.0.2");
  HttpClient c(server.port(), "127.0.0.3");
  EXPECT_EQ(served(b), 200) << "other clients are served meanwhile";
  EXPECT_EQ(served(c), 200);
  HttpClient d(server.port(), "127.0.0.4");
  const auto full = d.readResponse(std::chrono::seconds(5));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->status, 503);
  EXPECT_TRUE(json::parse(full->body).contains("error"));
  EXPECT_EQ(served(a1), 200) << "those already in are still served";

  // A closed connection no longer counts: one client, one connection after
  // another, is served each time (the server may take a moment to see a close).
  ServerProcess perClient(directory_ / "per-client.db", {"--max-connections-per-client", "2"});
  ASSERT_TRUE(perClient.start());
  for (int turn = 0; turn < 3; ++turn) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (status != 200 && std::chrono::steady_clock::now() < deadline) {
      HttpClient once(perClient.port());
      const auto reply = once.request("GET", "/kelvane/qx/getListOfStores.php?");
      status = reply ? reply->status : 0;
    }
    EXPECT_EQ(status, 200) << "connection " << turn + 1;
  }
}

TEST_F(ServerProcessTest, FullStorageIsExplainedAndNothingIsHalfStored) {
  if (::geteuid() != 0 || ::mount("tmpfs", directory_.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root and a mount namespace that allows it";
  }
  {
    ServerProcess server(database());
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_EQ(addStore(server.port(), "Deli"), 200);
    ASSERT_EQ(addMilk(server.port()), 200);
    HttpClient client(server.port());
    std::optional<HttpClient::Response> failed;
    const std::string longName(190, 'n');
    for (int i = 0; i < 5000 && !failed; ++i) {
      auto reply =
          client.request("POST", "/kelvane/qx/addInterested.php",
                         R"(interested={"itemId":"1","name":")" + longName + R"(","qty":"2"})");
      ASSERT_TRUE(reply);
      if (reply->status != 200) {
        failed = reply;
      }
    }
    ASSERT_TRUE(failed) << "the storage never filled up";
    EXPECT_EQ(failed->status, 500);
    EXPECT_EQ(json::parse(failed->body)["error"],
              "The service's storage is full, so nothing was stored.");
    const std::string log = server.log();
    EXPECT_NE(log.find("database or disk is full"), std::string::npos) << log;
    EXPECT_NE(log.find("SQLite code 13"), std::string::npos) << log;
    EXPECT_EQ(log.find("\"name\":\"nnn"), std::string::npos) << "no request text in the cause";

    // The counter still equals its records: the failed add left neither.
    const auto item = client.request("GET", "/kelvane/qx/getItemById.php?item_id=1");
    const auto interests = client.request("GET", "/kelvane/qx/getInterested.php?item_id=1");
    ASSERT_TRUE(item && interests);
    ASSERT_EQ(item->status, 200);
    const auto count = json::parse(interests->body)["Interested"].size();
    EXPECT_EQ(json::parse(item->body)["Items"][0]["interested"], std::to_string(2 * count));
  }
  ::umount2(directory_.c_str(), MNT_DETACH);
}

TEST_F(ServerProcessTest, FilesThatCannotBeUsedAreRefusedAtStartByName) {
  // Not a database at all.
  const auto foreign = directory_ / "notes.db";
  std::ofstream(foreign) << std::string(8192, 'x');
  ServerProcess wrongFile(foreign);
  EXPECT_FALSE(wrongFile.start());
  EXPECT_EQ(wrongFile.exitStatus(), 1);
  EXPECT_NE(wrongFile.log().find(foreign.string()), std::string::npos) << wrongFile.log();
  EXPECT_NE(wrongFile.log().find("file is not a database"), std::string::npos) << wrongFile.log();

  // A database damaged inside: the first page of the stores overwritten.
  {
    ServerProcess server(database());
    ASSERT_TRUE(server.start());
    for (int i = 0; i < 40; ++i) {
      ASSERT_EQ(addStore(server.port(), "Store " + std::to_string(i) + std::string(100, 's')), 200);
    }
    ASSERT_EQ(server.stop(), 0);
  }
  {
    std::fstream file(database(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096);
    file << std::string(4096, '\xA5');
  }
  ServerProcess damaged(database());
  EXPECT_FALSE(damaged.start());
  EXPECT_EQ(damaged.exitStatus(), 1);
  EXPECT_NE(damaged.log().find(database().string()), std::string::npos) << damaged.log();
  EXPECT_NE(damaged.log().find("damaged"), std::string::npos) << damaged.log();

  // A place where no file can be made.
  ServerProcess nowhere(directory_ / "missing" / "folder" / "vantory.db");
  EXPECT_FALSE(nowhere.start());
  EXPECT_NE(nowhere.log().find("missing/folder/vantory.db"), std::string::npos) << nowhere.log();

  // HTTPS files that are missing or not certificates are named with the reason.
  const auto missing = directory_ / "missing.pem";
  for (const auto& [certificate, reason] :
       {std::pair{missing, missing.string() + ": No such file or directory"},
        std::pair{foreign, std::string("it is not in PEM form")},
        std::pair{directory_, directory_.string() + ": Is a directory"}}) {
    ServerProcess https(directory_ / "https.db",
                        {"--tls-cert", certificate.string(), "--tls-key", certificate.string()});
    EXPECT_FALSE(https.start());
    EXPECT_EQ(https.exitStatus(), 1);
    EXPECT_NE(https.log().find("the certificate " + certificate.string()), std::string::npos)
        << https.log();
    EXPECT_NE(https.log().find(reason), std::string::npos) << https.log();
  }
  // A folder given as the user list is not an empty list that locks everyone out.
  ServerProcess users(directory_ / "users.db", {"--users", directory_.string()});
  EXPECT_FALSE(users.start());
  EXPECT_NE(
      users.log().find("cannot read the user list " + directory_.string() + ": Is a directory"),
      std::string::npos)
      << users.log();
}

TEST_F(ServerProcessTest, OnlyListedUsersAreAnsweredAtEveryEndpointAndGuessingIsSlowedDown) {
  const auto users = directory_ / "users";
  ASSERT_EQ(runCommand(serverCommand() + " passwd ann --name-in-app Ann --users " + quoted(users),
                       "first try\n")
                .status,
            0);
  ASSERT_EQ(runCommand(serverCommand() + " passwd bo --users " + quoted(users), "b\xC3\xB6 pass\n")
                .status,
            0);
  const auto changed =
      runCommand(serverCommand() + " passwd ann --users " + quoted(users), "s3cret: yes\n");
  ASSERT_EQ(changed.status, 0) << changed.output;
  EXPECT_NE(runCommand(serverCommand() + " passwd 'a:b' --users " + quoted(users), "x\n").status,
            0);
  EXPECT_NE(runCommand(serverCommand() + " passwd cy --users " + quoted(users), "\n").status, 0)
      << "an empty password is refused";
  const auto twice =
      runCommand(serverCommand() + " passwd cy --name-in-app Ann --users " + quoted(users), "c\n");
  EXPECT_NE(twice.status, 0);
  EXPECT_NE(twice.output.find("cy would be Ann in the app, as ann already is"), std::string::npos)
      << twice.output;
  {
    // A new password keeps the name in the app.
    std::ifstream file(users);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(ann:\$y\$[^:\n]+:Ann\nbo:\$y\$[^:\n]+\n)")))
        << text;
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
  }

  ServerProcess server(database(), {"--users", users.string()});
  ASSERT_TRUE(server.start()) << server.log();
  const std::vector<std::tuple<std::string, std::string, std::string>> requests = {
      {"POST", "addStore.php", R"(store={"name":"Deli","created":"Ann"})"},
      {"GET", "getListOfStores.php?", ""},
      {"POST", "addItem.php",
       R"(item={"storeId":"1","name":"Milk","description":"","price":"1","posted":"Ann"})"},
      {"GET", "getListOfItems.php?store_id=1", ""},
      {"GET", "getItemById.php?item_id=1", ""},
      {"POST", "editItem.php", R"(item={"itemId":"1","name":"Oat","description":"","price":"2"})"},
      {"POST", "addInterested.php", R"(interested={"itemId":"1","name":"Ann","qty":"2"})"},
      {"GET", "getInterested.php?item_id=1", ""},
      {"POST", "addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"1"})"},
      {"GET", "getBought.php?item_id=1", ""},
      {"POST", "searchItem.php", R"(search={"query":"oat"})"},
      {"GET", "nothing-here.php", ""}};
  HttpClient client(server.port());
  int guesses = 0;
  for (const auto& [method, endpoint, body] : requests) {
    const std::string target = "/kelvane/qx/" + endpoint;
    const auto none = client.request(method, target, body);
    ASSERT_TRUE(none) << target;
    EXPECT_EQ(none->status, 401) << target;
    EXPECT_NE(none->headers.find("WWW-Authenticate: Basic realm=\"Vantory\""), std::string::npos);
    EXPECT_TRUE(json::parse(none->body)["error"].is_string()) << none->body;
    // Wrong guesses from addresses and on names of their own, as one address
    // or name is soon locked out.
    HttpClient guessing(server.port(), "127.0.1." + std::to_string(++guesses));
    const auto wrong = guessing.request(
        method, target, body, authorization("guest" + std::to_string(guesses), "first try"));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 401) << target;
    const auto right = client.request(method, target, body, authorization("ann", "s3cret: yes"));
    ASSERT_TRUE(right);
    EXPECT_EQ(right->status, endpoint == "nothing-here.php" ? 404 : 200) << target << right->body;
  }
  const auto other = client.request("GET", "/kelvane/qx/getListOfStores.php?", "",
                                    authorization("bo", "b\xC3\xB6 pass"));
  ASSERT_TRUE(other);
  EXPECT_EQ(other->status, 200) << "names and passwords are UTF-8";
  const auto posing = client.request("POST", "/kelvane/qx/addInterested.php",
                                     R"(interested={"itemId":"1","name":"Ann","qty":"9"})",
                                     authorization("bo", "b\xC3\xB6 pass"));
  ASSERT_TRUE(posing);
  EXPECT_EQ(posing->status, 403) << "bo cannot add under ann's name in the app";
  // Credentials a hostile client sends are refused like wrong ones, each from
  // an address of its own so that none is locked out meanwhile.
  for (const std::string& hostile :
       {std::string("Authorization: Basic %%%\r\n"), std::string("Authorization: Bearer x\r\n"),
        std::string("Authorization: Basic\r\n"), std::string("Authorization: Basic \xFF\xFE\r\n"),
        "Authorization: Basic " + base64("no colon") + "\r\n",
        authorization(std::string("ann\0", 4), "x"),
        authorization("ann", std::string("s3cret: yes\0", 12)),
        authorization("\xFF\xC3", "\xF0\x9F"),
        "Authorization: Basic " + std::string(7000, 'A') + "\r\n"}) {
    HttpClient hostileClient(server.port(), "127.0.2." + std::to_string(++guesses));
    const auto reply =
        hostileClient.request("GET", "/kelvane/qx/getListOfStores.php?", "", hostile);
    ASSERT_TRUE(reply) << hostile;
    EXPECT_EQ(reply->status, 401) << hostile;
  }

  // Guessing from one address: after a few failures the address and the name
  // guessed at are locked out for a while, other names (and credentials
  // already proven) are not.
  HttpClient guesser(server.port(), "127.0.0.2");
  std::vector<int> statuses;
  for (int i = 0; i < 8; ++i) {
    const auto reply = guesser.request("GET", "/kelvane/qx/getListOfStores.php?", "",
                                       authorization("bo", "guess " + std::to_string(i)));
    ASSERT_TRUE(reply);
    statuses.push_back(reply->status);
    if (reply->status == 429) {
      EXPECT_NE(reply->headers.find("Retry-After: "), std::string::npos);
      EXPECT_NE(json::parse(reply->body)["error"].get<std::string>().find("try again in"),
                std::string::npos);
    }
  }
  EXPECT_EQ(std::count(statuses.begin(), statuses.begin() + 5, 401), 5);
  EXPECT_EQ(std::count(statuses.begin() + 5, statuses.end(), 429), 3);
  EXPECT_EQ(guesser
                .request("GET", "/kelvane/qx/getListOfStores.php?", "",
                         authorization("bo", "b\xC3\xB6 pass"))
                ->status,
            200);
  EXPECT_EQ(
      client.request("GET", "/kelvane/qx/getListOfStores.php?", "", authorization("ann", "x"))
          ->status,
      401);
  EXPECT_EQ(client.request("GET", "/kelvane/qx/getListOfStores.php?", "", authorization("bo", "x"))
                ->status,
            429)
      << "the name guessed at is locked out from every address";
  EXPECT_EQ(guesser
                .request("GET", "/kelvane/qx/getListOfStores.php?", "",
                         authorization("ann", "guess") + "X-Forwarded-For: 10.9.9.9\r\n")
                ->status,
            429)
      << "a client cannot name itself someone else";

  // Behind a load balancer every client comes from its address: trusted, its
  // X-Forwarded-For says who guesses, and only that client is locked out.
  {
    ServerProcess balanced(directory_ / "balanced.db",
                           {"--users", users.string(), "--trusted-proxy", "127.0.0.1"});
    balanced.setLogLevel("info");
    ASSERT_TRUE(balanced.start()) << balanced.log();
    HttpClient proxy(balanced.port());
    const auto from = [&proxy](const std::string& forwarded, const std::string& name,
                               const std::string& password) {
      const auto reply =
          proxy.request("GET", "/kelvane/qx/getListOfStores.php?", "",
                        authorization(name, password) +
                            "X-Forwarded-For: 10.0.0.9\r\nX-Forwarded-For: " + forwarded + "\r\n");
      return reply ? reply->status : 0;
    };
    for (int i = 0; i < vantory::service::AccessControl::kFreeFailures; ++i) {
      EXPECT_EQ(from("10.0.0.7, 10.0.0.1", "guest" + std::to_string(i), "guess"), 401);
    }
    EXPECT_EQ(from("10.0.0.1", "cy", "guess"), 429) << "the guessing client is locked out";
    EXPECT_EQ(from("10.0.0.2", "ann", "s3cret: yes"), 200)
        << "the others behind the balancer are not";
    EXPECT_NE(balanced.log().find(" 10.0.0.2 GET "), std::string::npos) << balanced.log();
    // What is not one address counts as the balancer's own request.
    for (const std::string& hostile : {std::string("\xFF\xFE"), std::string("not an address"),
                                       std::string(6000, '9'), std::string("10.0.0.1, , ")}) {
      EXPECT_EQ(from(hostile, "ann", "s3cret: yes"), 200) << hostile.substr(0, 20);
    }
    // A peer that is not the balancer is not believed when it names a new
    // client with each guess: it is the one guessing, and is locked out.
    HttpClient stranger(balanced.port(), "127.0.0.2");
    int last = 0;
    for (int i = 0; i <= vantory::service::AccessControl::kFreeFailures; ++i) {
      const auto reply =
          stranger.request("GET", "/kelvane/qx/getListOfStores.php?", "",
                           authorization("stranger" + std::to_string(i), "guess") +
                               "X-Forwarded-For: 10.9.9." + std::to_string(i) + "\r\n");
      last = reply ? reply->status : 0;
    }
    EXPECT_EQ(last, 429) << "X-Forwarded-For from 127.0.0.2 while the balancer is 127.0.0.1";
  }

  // A removed user is out after SIGHUP.
  std::ofstream(users, std::ios::trunc) << "# nobody\n";
  ::kill(server.pid(), SIGHUP);
  bool out = false;
  for (int i = 0; i < 50 && !out; ++i) {
    out = client
              .request("GET", "/kelvane/qx/getListOfStores.php?", "",
                       authorization("bo", "b\xC3\xB6 pass"))
              ->status != 200;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(out);
  const std::string log = server.log();
  EXPECT_EQ(log.find("s3cret"), std::string::npos) << "passwords never reach the log";

  // Credentials in clear over the network are refused at start.
  ServerProcess exposed(database(), {"--users", users.string()});
  exposed.setListenHost("0.0.0.0");
  EXPECT_FALSE(exposed.start());
  EXPECT_EQ(exposed.exitStatus(), 2);
  EXPECT_NE(exposed.log().find("needs HTTPS"), std::string::npos) << exposed.log();
}

TEST_F(ServerProcessTest,
       HttpsServesItsCertificateAndARenewalAfterSighupWithoutDroppingTheService) {
  testsupport::TestCertificates authority(directory_);
  const auto first = authority.issue("first");
  const auto second = authority.issue("second");
  ASSERT_TRUE(authority.ok()) << "openssl could not make the test certificates";
  const auto certificate = directory_ / "served.pem";
  const auto key = directory_ / "served.key";
  std::filesystem::copy_file(first.certificate, certificate);
  std::filesystem::copy_file(first.key, key);

  // HTTPS with users may listen on every address.
  std::ofstream(directory_ / "users") << "";
  ServerProcess server(database(), {"--tls-cert", certificate.string(), "--tls-key", key.string(),
                                    "--users", (directory_ / "users").string()});
  server.setListenHost("0.0.0.0");
  server.setLogLevel("info");
  ASSERT_TRUE(server.start()) << server.log();
  EXPECT_NE(server.readyLine().find("https://"), std::string::npos) << server.readyLine();
  const std::string address = "https://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(testsupport::TestCertificates::servedSerial(server.port()),
            testsupport::TestCertificates::serialOf(first.certificate));

  // Old protocol versions and plain HTTP get nothing, and harm nothing.
  const std::string connect =
      "openssl s_client -connect 127.0.0.1:" + std::to_string(server.port());
  EXPECT_NE(runCommand(connect + " -tls1_1 -cipher DEFAULT@SECLEVEL=0").status, 0);
  EXPECT_EQ(runCommand(connect + " -tls1_2").status, 0);
  HttpClient plain(server.port());
  EXPECT_FALSE(plain.request("GET", "/kelvane/qx/getListOfStores.php?"));

  platform::CurlUrlSession::setCertificateAuthorityFile(authority.authority().string());
  EXPECT_EQ(fetchStatus(address + "/kelvane/qx/getListOfStores.php?"), 401);

  std::atomic<bool> done{false};
  std::atomic<int> answered{0};
  std::atomic<int> failed{0};
  std::thread steady([&] {
    while (!done) {
      (fetchStatus(address + "/kelvane/qx/getListOfStores.php?") == 401 ? answered : failed)++;
    }
  });
  std::filesystem::copy_file(second.certificate, certificate,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(second.key, key, std::filesystem::copy_options::overwrite_existing);
  ::kill(server.pid(), SIGHUP);
  std::string served;
  testsupport::waitUntil([&] {
    served = testsupport::TestCertificates::servedSerial(server.port());
    return served == testsupport::TestCertificates::serialOf(second.certificate);
  });
  EXPECT_EQ(served, testsupport::TestCertificates::serialOf(second.certificate));

  // A broken renewal is reported and the pair in use stays.
  std::ofstream(certificate, std::ios::trunc) << "not a certificate";
  ::kill(server.pid(), SIGHUP);
  testsupport::waitUntil(
      [&] { return server.log().find("kept the previous") != std::string::npos; });
  EXPECT_NE(server.log().find("kept the previous settings: cannot use the certificate"),
            std::string::npos)
      << server.log();
  EXPECT_EQ(testsupport::TestCertificates::servedSerial(server.port()),
            testsupport::TestCertificates::serialOf(second.certificate));

  // So is a key of another kind (RSA) beside the EC certificate: taken, it
  // would fail every handshake.
  std::filesystem::copy_file(second.certificate, certificate,
                             std::filesystem::copy_options::overwrite_existing);
  ASSERT_EQ(runCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " +
                       key.string())
                .status,
            0);
  ::kill(server.pid(), SIGHUP);
  EXPECT_TRUE(testsupport::waitUntil([&] {
    return server.log().find("does not belong to the certificate") != std::string::npos;
  })) << server.log();
  EXPECT_EQ(testsupport::TestCertificates::servedSerial(server.port()),
            testsupport::TestCertificates::serialOf(second.certificate));
  done = true;
  steady.join();
  platform::CurlUrlSession::setCertificateAuthorityFile("");
  EXPECT_GT(answered, 0);
  EXPECT_EQ(failed, 0) << "no request failed across the reloads";
  EXPECT_EQ(server.stop(), 0);
}

TEST_F(ServerProcessTest, ABackupUnderWriteLoadHoldsEveryEarlierWriteAndRestoresIt) {
  {
    ServerProcess creator(database());
    ASSERT_TRUE(creator.start());
    ASSERT_EQ(creator.stop(), 0);
  }
  // Enough data that copying it takes a while: about 40 MB of deals.
  const auto filled =
      runCommand("sqlite3 " + quoted(database()),
                 "INSERT INTO stores (name, created_by) VALUES ('Big', 'Ann');\n"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i "
                 "< 150000) INSERT INTO items (store_id, name, description, price, "
                 "posted_by) SELECT 1, 'Deal ' || i, printf('%.200c', 'd'), '1.00', "
                 "'Ann' FROM n;\n");
  ASSERT_EQ(filled.status, 0) << filled.output;

  ServerProcess server(database());
  ASSERT_TRUE(server.start()) << server.log();
  std::mutex mutex;
  std::vector<std::string> acknowledged;
  std::atomic<bool> done{false};
  std::atomic<int> refused{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < 3; ++w) {
    writers.emplace_back([&, w] {
      HttpClient client(server.port());
      for (int n = 0; !done; ++n) {
        const std::string name = "w" + std::to_string(w) + "-" + std::to_string(n);
        const auto reply = client.request("POST", "/kelvane/qx/addStore.php",
                                          R"(store={"name":")" + name + R"(","created":"Bo"})");
        if (!reply || reply->status != 200) {
          ++refused;
          continue;
        }
        std::lock_guard lock(mutex);
        acknowledged.push_back(name);
      }
    });
  }
  const auto count = [&] {
    std::lock_guard lock(mutex);
    return acknowledged.size();
  };
  ASSERT_TRUE(testsupport::waitUntil([&] { return count() >= 50; }));
  std::vector<std::string> before;
  {
    std::lock_guard lock(mutex);
    before = acknowledged;
  }
  const auto copy = directory_ / "copy.db";
  const auto backup = runCommand(serverCommand() + " backup --database " + quoted(database()) +
                                 " --to " + quoted(copy));
  const std::size_t duringAndBefore = count();
  done = true;
  for (auto& writer : writers) {
    writer.join();
  }
  ASSERT_EQ(backup.status, 0) << backup.output;
  EXPECT_GT(duringAndBefore, before.size()) << "writes were acknowledged during the backup";
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(runCommand("sqlite3 " + quoted(copy) + " 'PRAGMA integrity_check'").output, "ok\n");
  const std::string copied =
      "\n" + runCommand("sqlite3 " + quoted(copy) + " 'SELECT name FROM stores'").output;
  for (const auto& name : before) {
    EXPECT_NE(copied.find("\n" + name + "\n"), std::string::npos) << name << " is in the copy";
  }

  const auto whileRunning = runCommand(serverCommand() + " restore --from " + quoted(copy) +
                                       " --database " + quoted(database()));
  EXPECT_EQ(whileRunning.status, 1);
  EXPECT_NE(whileRunning.output.find("in use by a running vantory-server"), std::string::npos)
      << whileRunning.output;
  // Nor may a backup be put over a live database, its own source included.
  for (const auto& [source, target] : {std::pair{copy, database()}, {database(), database()}}) {
    const auto over = runCommand(serverCommand() + " backup --database " + quoted(source) +
                                 " --to " + quoted(target));
    EXPECT_EQ(over.status, 1) << over.output;
    EXPECT_NE(over.output.find(source == target ? "must go to another file" : "running"),
              std::string::npos)
        << over.output;
  }
  // Nor over the files SQLite keeps beside it (the WAL holds the writes not
  // yet in the database file), by whatever name they are reached.
  const std::string live = database().string();
  std::filesystem::create_directory(directory_ / "sub");
  std::filesystem::create_symlink(live + "-wal", directory_ / "wal-link");
  std::filesystem::create_hard_link(live + "-wal", directory_ / "wal-hard-link");
  for (const std::filesystem::path& target :
       {std::filesystem::path(live + "-wal"), std::filesystem::path(live + "-shm"),
        std::filesystem::path(live + "-journal"), directory_ / "wal-link",
        directory_ / "wal-hard-link",
        directory_ / "sub" / ".." / (database().filename().string() + "-wal")}) {
    const auto over = runCommand(serverCommand() + " backup --database " + quoted(database()) +
                                 " --to " + quoted(target));
    EXPECT_EQ(over.status, 1) << target << ": " << over.output;
    EXPECT_NE(over.output.find("belongs to the database"), std::string::npos) << over.output;
    if (std::filesystem::exists(target)) {  // restore reads only files that exist
      const auto from = runCommand(serverCommand() + " restore --from " + quoted(target) +
                                   " --database " + quoted(database()));
      EXPECT_EQ(from.status, 1) << target << ": " << from.output;
      EXPECT_NE(from.output.find("belongs to the database"), std::string::npos) << from.output;
    }
  }
  std::filesystem::remove(directory_ / "wal-hard-link");
  ASSERT_EQ(server.stop(), 0);
  {
    ServerProcess again(database());
    ASSERT_TRUE(again.start()) << again.log();
    const std::string names = ";" + storeNames(again.port());
    EXPECT_EQ(std::count_if(acknowledged.begin(), acknowledged.end(),
                            [&names](const std::string& name) {
                              return names.find(";" + name + ";") == std::string::npos;
                            }),
              0)
        << "every acknowledged write outlived the refused backups";
    ASSERT_EQ(again.stop(), 0);
  }
  const auto restore = runCommand(serverCommand() + " restore --from " + quoted(copy) +
                                  " --database " + quoted(database()));
  ASSERT_EQ(restore.status, 0) << restore.output;
  std::ofstream(directory_ / "notes.db") << "not a database";
  EXPECT_NE(runCommand(serverCommand() + " restore --from " + quoted(directory_ / "notes.db") +
                       " --database " + quoted(database()))
                .status,
            0)
      << "a file that is not a backup is refused";
  const auto other = directory_ / "other.db";
  ASSERT_EQ(runCommand("sqlite3 " + quoted(other) + " 'CREATE TABLE stores (name TEXT)'").status,
            0);
  EXPECT_NE(runCommand(serverCommand() + " restore --from " + quoted(other) + " --database " +
                       quoted(database()))
                .status,
            0)
      << "nor is another program's database with a table of the same name";

  ServerProcess restored(database());
  ASSERT_TRUE(restored.start()) << restored.log();
  const std::string names = ";" + storeNames(restored.port());
  for (const auto& name : before) {
    EXPECT_NE(names.find(";" + name + ";"), std::string::npos) << name << " was restored";
  }
  EXPECT_EQ(std::count(names.begin(), names.end(), ';') - 1,
            std::count(copied.begin(), copied.end(), '\n') - 1)
      << "the database is the copy, neither more nor less";
}

// Several servers on one PostgreSQL database, as behind a load balancer.
// Opens a stream of changes, with the Last-Event-ID when given.
std::unique_ptr<HttpClient> follow(int port, const std::string& lastEventId = "",
                                   const std::string& from = "") {
  auto client = std::make_unique<HttpClient>(port, from);
  client->sendRaw("GET /kelvane/qx/events HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                  (lastEventId.empty() ? "" : "Last-Event-ID: " + lastEventId + "\r\n") + "\r\n");
  return client;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(ServerProcessTest, ChangesStreamToFollowersOfEveryServerOnTheFileAndResume) {
  ServerProcess first(database(), {"--events-keep-alive", "1", "--max-streams-per-client", "3"});
  ServerProcess second(database(), {"--max-streams", "1"});
  ASSERT_TRUE(first.start()) << first.log();
  ASSERT_TRUE(second.start()) << second.log();

  // The stream's head and first lines, byte for byte.
  auto stream = follow(first.port());
  ASSERT_TRUE(stream->waitFor("retry: 2000\nid: 0\n\n")) << stream->received();
  const std::string head = stream->received().substr(0, stream->received().find("\r\n\r\n") + 2);
  EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0U) << head;
  EXPECT_NE(head.find("Content-Type: text/event-stream; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(head.find("Cache-Control: no-store\r\n"), std::string::npos);
  EXPECT_NE(head.find("Transfer-Encoding: chunked\r\n"), std::string::npos);

  // Changes made through the other server arrive, ids and kinds only.
  ASSERT_EQ(addStore(second.port(), "Deli"), 200);
  ASSERT_EQ(addMilk(second.port()), 200);
  HttpClient writer(second.port());
  ASSERT_EQ(writer
                .request("POST", "/kelvane/qx/addInterested.php",
                         R"(interested={"itemId":"1","name":"Ann","qty":"2"})")
                ->status,
            200);
  ASSERT_EQ(writer
                .request("POST", "/kelvane/qx/editItem.php",
                         R"(item={"itemId":"1","name":"Oat","description":"","price":"2"})")
                ->status,
            200);
  ASSERT_TRUE(
      stream->waitFor("id: 4\ndata: {\"kind\":\"dealEdited\",\"storeId\":\"1\","
                      "\"itemId\":\"1\"}\n\n"))
      << stream->received();
  const std::string& text = stream->received();
  EXPECT_NE(text.find("data: {\"kind\":\"storeAdded\",\"storeId\":\"1\"}\n\n"), std::string::npos);
  EXPECT_NE(
      text.find("id: 3\ndata: {\"kind\":\"interestAdded\",\"itemId\":\"1\",\"id\":\"1\"}\n\n"),
      std::string::npos)
      << text;
  EXPECT_EQ(occurrences(text, "\"kind\""), 4U) << "a counter's change is not an edit";
  EXPECT_EQ(text.find("Deli"), std::string::npos) << "never names or texts";
  EXPECT_TRUE(stream->waitFor(": keep-alive\n\n", std::chrono::seconds(5)));

  // A reconnection resumes after the id it names; an id this storage does not
  // know, or text that is no id, gets a reset with the newest id.
  auto resumed = follow(first.port(), "2");
  ASSERT_TRUE(resumed->waitFor("\"kind\":\"dealEdited\"")) << resumed->received();
  EXPECT_EQ(resumed->received().find("storeAdded"), std::string::npos);
  EXPECT_EQ(occurrences(resumed->received(), "\"kind\""), 2U);
  EXPECT_EQ(resumed->received().find("reset"), std::string::npos);
  int from = 0;
  for (const std::string& hostile :
       {std::string("5"), std::string("-1"), std::string("abc"), std::string("2 3"),
        std::string("99999999999999999999999"), std::string("\xFF\xFE"), std::string(4000, '7')}) {
    auto reset = follow(first.port(), hostile, "127.0.3." + std::to_string(++from));
    EXPECT_TRUE(reset->waitFor("retry: 2000\nid: 4\nevent: reset\ndata: {}\n\n")) << hostile;
  }

  // Streams per client are capped; the others go on meanwhile.
  auto third = follow(first.port());
  ASSERT_TRUE(third->waitFor("retry: 2000"));
  auto fourth = follow(first.port());
  ASSERT_TRUE(fourth->waitFor("\r\n\r\n"));
  EXPECT_EQ(fourth->received().rfind("HTTP/1.1 429", 0), 0U) << fourth->received();
  EXPECT_EQ(addStore(first.port(), "Bakery"), 200);
  EXPECT_TRUE(stream->waitFor("\"storeId\":\"2\""));
  EXPECT_TRUE(third->waitFor("\"storeId\":\"2\""));
  // A server no one followed while the writes came reads them when someone
  // joins: a resumption gets what it missed, then what happens next.
  auto only = follow(second.port(), "2", "127.0.4.1");
  ASSERT_TRUE(only->waitFor("id: 5\ndata: {\"kind\":\"storeAdded\",\"storeId\":\"2\"}\n\n"))
      << only->received();
  EXPECT_EQ(occurrences(only->received(), "\"kind\""), 3U) << only->received();
  EXPECT_EQ(only->received().find("reset"), std::string::npos);
  EXPECT_EQ(addStore(first.port(), "Grocer"), 200);
  EXPECT_TRUE(only->waitFor("\"storeId\":\"3\"")) << only->received();
  // And in all, whoever asks.
  auto over = follow(second.port(), "", "127.0.4.2");
  ASSERT_TRUE(over->waitFor("\r\n\r\n"));
  EXPECT_EQ(over->received().rfind("HTTP/1.1 503", 0), 0U) << over->received();
  EXPECT_NE(over->received().find("Retry-After: "), std::string::npos);
}

// A follower that never reads is dropped once its unsent events pass the
// limit, and the others go on.
TEST_F(ServerProcessTest, AFollowerThatDoesNotReadIsDroppedNotBufferedForWithoutBound) {
  {
    ServerProcess creating(database());
    ASSERT_TRUE(creating.start()) << creating.log();
  }
  // 10,000 changes kept, so that a follower resuming from the first is sent
  // far more than a socket holds.
  ASSERT_EQ(runCommand("sqlite3 " + quoted(database()) +
                       " \"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < 10000) INSERT INTO change_events (kind, store_id) "
                       "SELECT 'storeAdded', i FROM n;\"")
                .status,
            0);
  ServerProcess server(database(), {"--events-keep-alive", "1"});
  server.setLogLevel("info");
  ASSERT_TRUE(server.start()) << server.log();
  HttpClient stalled(server.port(), "127.0.5.1", 4096);
  stalled.sendRaw("GET /kelvane/qx/events HTTP/1.1\r\nHost: 127.0.0.1\r\nLast-Event-ID: 0\r\n\r\n");
  auto reading = follow(server.port());
  ASSERT_TRUE(reading->waitFor("retry: 2000\nid: 10000\n\n")) << reading->received();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server.log().find("stopped sending changes to 127.0.5.1") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    reading->waitFor(": keep-alive\n\n\n", std::chrono::milliseconds(100));  // reads meanwhile
  }
  EXPECT_NE(server.log().find("stopped sending changes to 127.0.5.1: it does not read them"),
            std::string::npos)
      << server.log();
  EXPECT_TRUE(stalled.closedByPeer(std::chrono::seconds(5)));
  ASSERT_EQ(addStore(server.port(), "Still told"), 200);
  EXPECT_TRUE(reading->waitFor("\"storeId\":\"1\"")) << "the reading follower goes on";
}

class PostgresServersTest : public ServerProcessTest {
 protected:
  void SetUp() override {
    ServerProcessTest::SetUp();
    cluster_ = std::make_unique<testsupport::PostgresCluster>();
    if (cluster_->unavailable()) {
      GTEST_SKIP() << *cluster_->unavailable();
    }
  }
  void TearDown() override {
    cluster_.reset();
    ServerProcessTest::TearDown();
  }
  std::unique_ptr<ServerProcess> server() {
    auto process = std::make_unique<ServerProcess>(
        cluster_->url(), std::vector<std::string>{"--database-wait", "2", "--threads", "4"});
    return process;
  }

  std::unique_ptr<testsupport::PostgresCluster> cluster_;
};

TEST_F(PostgresServersTest, TwoServersAreOneServiceWithExactCounters) {
  auto first = server();
  auto second = server();
  ASSERT_TRUE(first->start()) << first->log();
  ASSERT_TRUE(second->start()) << second->log();
  auto stream = follow(first->port());
  ASSERT_TRUE(stream->waitFor("retry: 2000")) << stream->received();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(storeNames(first->port()), storeNames(second->port()));  // both cache their lists
    ASSERT_EQ(addStore((round % 2 == 0 ? second : first)->port(), "S" + std::to_string(round)),
              200);
    EXPECT_EQ(storeNames(round % 2 == 0 ? first->port() : second->port()), round == 0 ? "S0;"
                                                                           : round == 1
                                                                               ? "S0;S1;"
                                                                               : "S0;S1;S2;")
        << "the very next list of the other server";
  }
  ASSERT_EQ(addMilk(first->port()), 200);

  // 8 clients, 100 interests each, spread over both servers at once.
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      HttpClient client((c % 2 == 0 ? first : second)->port());
      for (int i = 0; i < 100; ++i) {
        const auto reply = client.request(
            "POST", "/kelvane/qx/addInterested.php",
            R"(interested={"itemId":"1","name":"C","qty":")" + std::to_string(c % 3 + 1) + "\"}");
        failures += reply && reply->status == 200 ? 0 : 1;
      }
    });
  }
  for (auto& client : clients) {
    client.join();
  }
  EXPECT_EQ(failures, 0);
  HttpClient check(second->port());
  const json item =
      json::parse(check.request("GET", "/kelvane/qx/getItemById.php?item_id=1")->body)["Items"][0];
  EXPECT_EQ(item["interested"], std::to_string(100 * (1 + 2 + 3 + 1 + 2 + 3 + 1 + 2)));
  EXPECT_EQ(json::parse(
                check.request("GET", "/kelvane/qx/getInterested.php?item_id=1")->body)["Interested"]
                .size(),
            800U);

  // Followers of one instance are told of every change on both, once each,
  // however the two instances' commits interleave.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (occurrences(stream->received(), "interestAdded") < 800 &&
         std::chrono::steady_clock::now() < deadline) {
    stream->waitFor("\n\n\n", std::chrono::milliseconds(200));  // reads what came meanwhile
  }
  stream->waitFor("\n\n\n", std::chrono::milliseconds(500));  // and anything sent twice
  EXPECT_EQ(occurrences(stream->received(), "interestAdded"), 800U);
  EXPECT_EQ(occurrences(stream->received(), "storeAdded"), 3U);
}

TEST_F(PostgresServersTest, WhileTheDatabaseIsDownRequestsGet503AndAcknowledgedWritesStay) {
  // Its server is stopped and started: not one other tests share.
  cluster_ = std::make_unique<testsupport::PostgresCluster>(
      testsupport::PostgresCluster::Server::ownToStopAndStart);
  ASSERT_FALSE(cluster_->unavailable()) << *cluster_->unavailable();
  auto service = server();
  ASSERT_TRUE(service->start()) << service->log();
  std::atomic<bool> running{true};
  std::atomic<int> acknowledged{0};
  std::atomic<int> unavailable{0};
  std::atomic<int> otherwise{0};
  std::thread writer([&] {
    for (int i = 0; running; ++i) {
      HttpClient client(service->port());
      const auto reply =
          client.request("POST", "/kelvane/qx/addStore.php",
                         R"(store={"name":"W)" + std::to_string(i) + R"(","created":"Ann"})");
      if (!reply) {
        ++otherwise;
        ADD_FAILURE() << "no reply";
      } else if (reply->status == 200) {
        ++acknowledged;
      } else if (reply->status == 503 && json::parse(reply->body).contains("error")) {
        ++unavailable;
      } else {
        ++otherwise;
        ADD_FAILURE() << reply->status << " " << reply->body;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  ASSERT_TRUE(testsupport::waitUntil([&] { return acknowledged >= 5; }));
  ASSERT_TRUE(cluster_->stop());
  EXPECT_TRUE(testsupport::waitUntil([&] { return unavailable >= 1; }))
      << "503 while the database is down";
  ASSERT_TRUE(cluster_->start());
  const int afterOutage = acknowledged;
  EXPECT_TRUE(testsupport::waitUntil([&] { return acknowledged >= afterOutage + 5; }))
      << "the service comes back by itself";
  running = false;
  writer.join();
  EXPECT_EQ(otherwise, 0) << "nothing but 200 and 503 with JSON";
  const int before = acknowledged;
  EXPECT_GT(before, 0);
  // Every acknowledged store is there; the service came back by itself.
  const std::string names = storeNames(service->port());
  EXPECT_EQ(static_cast<int>(std::count(names.begin(), names.end(), ';')), before) << names;
  EXPECT_NE(service->log().find("failed with 503"), std::string::npos) << service->log();
}

// The syncs each --sync asks of the kernel, counted by a preloaded library:
// "full" syncs the write-ahead log at every commit, "normal" leaves it to
// checkpoints.
TEST_F(ServerProcessTest, SyncFullReachesTheDiskAtEveryCommitAndNormalDoesNot) {
  std::map<std::string, std::size_t> logSyncs;
  for (const std::string sync : {"full", "normal"}) {
    const auto counted = directory_ / ("syncs-" + sync);
    ServerProcess server(directory_ / (sync + ".db"), {"--sync", sync});
    server.setEnvironment("LD_PRELOAD", VANTORY_SYNC_COUNTER);
    server.setEnvironment("VANTORY_SYNC_LOG", counted.string());
    // The sanitizers' runtime wants to come first; the counter only forwards.
    const char* asan = std::getenv("ASAN_OPTIONS");
    server.setEnvironment("ASAN_OPTIONS",
                          std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0");
    ASSERT_TRUE(server.start()) << server.log();
    HttpClient client(server.port());
    for (int i = 0; i < 20; ++i) {
      const auto reply =
          client.request("POST", "/kelvane/qx/addStore.php", R"(store={"name":"S","created":"A"})");
      ASSERT_TRUE(reply && reply->status == 200);
    }
    ASSERT_EQ(server.stop(), 0) << server.log();
    std::ifstream lines(counted);
    std::size_t times = 0;
    std::string path;
    while (lines >> times >> path) {
      if (path.ends_with("-wal")) {
        logSyncs[sync] += times;
      }
    }
  }
  EXPECT_GE(logSyncs["full"], 20U);
  EXPECT_LT(logSyncs["normal"], 5U);
}

}  // namespace
