// The app following the service's changes: what a stream says reaches the
// screens in batches, and what a broken or hostile peer sends is passed over.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/LiveChanges.h"
#include "platform/CurlUrlSession.h"
#include "platform/DispatchQueue.h"
#include "platform/EventStreamParser.h"
#include "platform/UrlSession.h"
#include "support/RecordingHttpServer.h"

namespace {

using platform::EventStreamParser;

TEST(EventStreamParser, ReadsEventsCutAnywhereWithEveryLineEnding) {
  const std::string stream =
      ": a comment\r\nretry: 1500\r\nid: 7\r\nevent: reset\r\ndata: {}\r\n\r\n"
      "data: first\rdata: second\r\rid: 8\n\n"  // an id alone sets it and sends nothing
      "data\n\nunknown: field\ndata:no space\n\nretry: 12x\n";
  for (std::size_t cut = 1; cut <= stream.size(); cut += 3) {
    std::vector<EventStreamParser::Event> events;
    EventStreamParser parser([&events](const auto& event) { events.push_back(event); });
    for (std::size_t at = 0; at < stream.size(); at += cut) {
      ASSERT_TRUE(parser.feed(std::string_view(stream).substr(at, cut)));
    }
    ASSERT_EQ(events.size(), 4U) << "cut every " << cut;
    EXPECT_EQ(events[0].type, "reset");
    EXPECT_EQ(events[0].lastEventId, "7");
    EXPECT_EQ(events[1].type, "message");
    EXPECT_EQ(events[1].data, "first\nsecond");
    EXPECT_EQ(events[2].data, "");
    EXPECT_EQ(events[2].lastEventId, "8");
    EXPECT_EQ(events[3].data, "no space");
    EXPECT_EQ(parser.lastEventId(), "8");
    EXPECT_EQ(parser.retry(), 1500) << "a retry that is not a number is passed over";
  }
  EventStreamParser limited([](const auto&) {}, 16);
  EXPECT_FALSE(limited.feed(std::string(17, 'x'))) << "a line too long ends the stream";
  EXPECT_FALSE(limited.feed("\n"));
}

TEST(LiveChanges, OnlyWhatAStreamValidlySaysReachesTheScreensAndItResumesFromItsLastId) {
  testsupport::RecordingHttpServer service;
  std::string body =
      ": keep-alive\n\ndata: not json\n\ndata: {\"kind\":5}\n\ndata: " + std::string(30000, '[') +
      std::string(30000, ']') + "\n\ndata: " + std::string("\xFF\xFE\0", 3) +
      "\n\ndata: {\"kind\":\"storeAdded\",\"storeId\":1e999}\n\n"
      "id: 9\r\ndata: {\"kind\":\"dealEdited\",\r\ndata: "
      "\"storeId\":\"3\",\"itemId\":\"7\"}\r\n\r\n"
      "event: reset\ndata: {}\n\n" +
      std::string(70000, 'x');  // a line without end: the stream is broken
  service.setReplyFor("/kelvane/qx/events", {200, body, "text/event-stream"});
  platform::UrlSession::setSharedSession(std::make_shared<platform::CurlUrlSession>());

  std::vector<vantory::ChangeBatch> batches;
  const auto token = vantory::LiveChanges::addObserver(
      [&batches](const vantory::ChangeBatch& batch) { batches.push_back(batch); });
  vantory::LiveChanges::start(service.baseUrl());
  auto& main = platform::DispatchQueue::main();
  const auto saw = [&batches](const std::string& kind) {
    for (const auto& batch : batches) {
      for (const auto& change : batch.changes) {
        if (change.kind == kind && change.storeId == "3" && change.itemId == "7") {
          return true;
        }
      }
    }
    return false;
  };
  EXPECT_TRUE(main.runUntil([&] { return saw("dealEdited"); }));
  EXPECT_TRUE(service.waitForRequests(2)) << "a broken stream is opened again";
  vantory::LiveChanges::stop();
  vantory::LiveChanges::removeObserver(token);
  platform::UrlSession::setSharedSession(nullptr);

  ASSERT_FALSE(batches.empty());
  EXPECT_TRUE(batches.front().everything) << "an opened stream first reads everything again";
  for (const auto& batch : batches) {
    for (const auto& change : batch.changes) {
      EXPECT_TRUE(change.kind == "dealEdited" || change.kind == "storeAdded") << change.kind;
    }
  }
  const auto requests = service.requests();
  EXPECT_NE(requests[0].headerBlock.find("Accept: text/event-stream"), std::string::npos);
  EXPECT_EQ(requests[0].headerBlock.find("Last-Event-ID"), std::string::npos);
  EXPECT_NE(requests[1].headerBlock.find("Last-Event-ID: 9"), std::string::npos)
      << requests[1].headerBlock;
}

}  // namespace
