#include "net/Reachability.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/FakeReachabilityService.h"

using namespace platform::reachability_flag;
using testsupport::FakeReachabilityService;
using vantory::NetworkStatus;
using vantory::Reachability;
using vantory::ReachabilityError;

namespace {

// A monitor on a fake service, counting its reports.
class ReachabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::DispatchQueue::main().drain();
    service_ = std::make_shared<FakeReachabilityService>();
    center_ = std::make_shared<platform::NotificationCenter>();
    center_->addObserver(vantory::kReachabilityChangedNotification,
                         [this](const auto& notification) {
                           ++notifications_;
                           EXPECT_EQ(notification.object, monitor_.get());
                         });
    monitor_ = Reachability::reachabilityForInternetConnection(service_);
    ASSERT_TRUE(monitor_);
    monitor_->setNotificationCenter(center_);
    monitor_->setWhenReachable([this](Reachability&) { ++reachable_; });
    monitor_->setWhenUnreachable([this](Reachability&) { ++unreachable_; });
  }

  // Lets queued checks run: the serial queue hands them to the main queue.
  void settle() { platform::DispatchQueue::main().runFor(std::chrono::milliseconds(60)); }

  std::shared_ptr<FakeReachabilityService> service_;
  std::shared_ptr<platform::NotificationCenter> center_;
  std::unique_ptr<Reachability> monitor_;
  int notifications_ = 0;
  int reachable_ = 0;
  int unreachable_ = 0;
};

TEST_F(ReachabilityTest, TheFirstStartReportsOnceAndASecondStartDoesNothing) {
  service_->setFlags(reachable);
  EXPECT_EQ(monitor_->queueLabel().substr(monitor_->queueLabel().size() - 13), ".reachability");
  monitor_->startNotifier();
  EXPECT_TRUE(monitor_->notifierRunning());
  monitor_->startNotifier();
  settle();
  EXPECT_EQ(reachable_, 1);
  EXPECT_EQ(unreachable_, 0);
  EXPECT_EQ(notifications_, 1) << "reported once although nothing changed";

  service_->setFlags(0);
  service_->triggerChange();
  settle();
  EXPECT_EQ(unreachable_, 1);
  EXPECT_EQ(notifications_, 2);
  EXPECT_EQ(monitor_->previousFlags(), 0U);
}

TEST_F(ReachabilityTest, AChangeAndAChangeBackBeforeTheCheckReportNothing) {
  service_->setFlags(reachable | isDirect);
  monitor_->startNotifier();
  settle();
  ASSERT_EQ(notifications_, 1);

  service_->setFlags(0);
  service_->triggerChange();
  service_->setFlags(reachable | isDirect);
  service_->triggerChange();
  settle();
  EXPECT_EQ(notifications_, 1);
  EXPECT_EQ(reachable_ + unreachable_, 1);
}

TEST_F(ReachabilityTest, CellularOnlyCountsAsUnreachableWhenCellularIsNotAllowed) {
  service_->setFlags(reachable | isWWAN);
  EXPECT_EQ(monitor_->currentStatus(), NetworkStatus::reachableViaWWAN);
  EXPECT_EQ(monitor_->currentStatusText(), "Cellular");
  monitor_->setReachableOnWWAN(false);
  EXPECT_FALSE(monitor_->isReachable());
  EXPECT_FALSE(monitor_->isReachableViaWiFi());
  EXPECT_TRUE(monitor_->isReachableViaWWAN());
  EXPECT_EQ(monitor_->currentStatus(), NetworkStatus::notReachable);
  EXPECT_EQ(monitor_->currentStatusText(), "No Connection");

  service_->setFlags(reachable | connectionRequired | transientConnection);
  EXPECT_FALSE(monitor_->isReachable()) << "a connection still to be made";
  service_->setFlags(reachable);
  EXPECT_EQ(monitor_->currentStatusText(), "WiFi");
}

TEST_F(ReachabilityTest, FlagsTextShowsEachFlagInItsPlace) {
  service_->setFlags(reachable | isDirect | isLocalAddress);
  EXPECT_EQ(monitor_->flagsText(), "-R -----ld");
  service_->setFlags(isWWAN | reachable | connectionRequired | transientConnection |
                     interventionRequired | connectionOnTraffic | connectionOnDemand);
  EXPECT_EQ(monitor_->flagsText(), "WR ctiCD--");
  service_->failReads(true);
  EXPECT_EQ(monitor_->flagsText(), "-- -------");
  EXPECT_FALSE(monitor_->isReachable());
}

TEST_F(ReachabilityTest, EveryTestOfAStatusReadsTheFlagsAnew) {
  // Reachable at the first read, a connection still to be made at the second.
  service_->setFlagsPerRead({reachable, reachable | connectionRequired | transientConnection});
  EXPECT_FALSE(monitor_->isReachable());
  service_->setFlagsPerRead({reachable, reachable | isWWAN});
  EXPECT_FALSE(monitor_->isReachableViaWiFi());
  service_->setFlagsPerRead({reachable, reachable | isWWAN});
  EXPECT_TRUE(monitor_->isReachableViaWWAN());
  monitor_->setReachableOnWWAN(false);
  service_->setFlagsPerRead({reachable, reachable, reachable | isWWAN});
  EXPECT_FALSE(monitor_->isReachable()) << "the third read found only a cellular route";

  // Each character of the flags text comes from a read of its own.
  service_->setFlagsPerRead({isWWAN, reachable, connectionRequired, transientConnection,
                             interventionRequired, connectionOnTraffic, connectionOnDemand,
                             isLocalAddress, isDirect, 0});
  const int before = service_->reads();
  EXPECT_EQ(monitor_->flagsText(), "WR ctiCDld");
  EXPECT_EQ(service_->reads() - before, 9);
}

TEST_F(ReachabilityTest, ARefusedCallbackOrQueueRaisesAndLeavesTheMonitorStopped) {
  service_->refuseCallback(true);
  try {
    monitor_->startNotifier();
    FAIL() << "no error";
  } catch (const ReachabilityError& error) {
    EXPECT_EQ(error.kind(), ReachabilityError::Kind::UnableToSetCallback);
  }
  EXPECT_FALSE(monitor_->notifierRunning());

  service_->refuseCallback(false);
  service_->refuseQueue(true);
  try {
    monitor_->startNotifier();
    FAIL() << "no error";
  } catch (const ReachabilityError& error) {
    EXPECT_EQ(error.kind(), ReachabilityError::Kind::UnableToSetDispatchQueue);
  }
  EXPECT_FALSE(monitor_->notifierRunning());
  EXPECT_FALSE(service_->delivering()) << "the partial registration is undone";
  settle();
  EXPECT_EQ(notifications_, 0);
}

TEST_F(ReachabilityTest, ARejectedHostNameGivesNoMonitor) {
  service_->rejectName("bad name");
  EXPECT_EQ(Reachability::reachabilityWithHostname("bad name", service_), nullptr);
  EXPECT_NE(Reachability::reachabilityWithHostname("example.org", service_), nullptr);
}

TEST_F(ReachabilityTest, AfterStopAndStartOnlyADifferenceFromTheLastReportIsReported) {
  service_->setFlags(reachable);
  monitor_->startNotifier();
  settle();
  monitor_->stopNotifier();
  EXPECT_FALSE(service_->delivering());
  service_->triggerChange();
  settle();
  EXPECT_EQ(notifications_, 1) << "nothing is delivered while stopped";

  monitor_->startNotifier();
  settle();
  EXPECT_EQ(notifications_, 1) << "same flags as the last report";
  monitor_->stopNotifier();
  service_->setFlags(0);
  monitor_->startNotifier();
  settle();
  EXPECT_EQ(notifications_, 2);
  EXPECT_EQ(unreachable_, 1);
}

TEST_F(ReachabilityTest, AMonitorThatEndsWhileChecksAreQueuedIsNotCalled) {
  service_->setFlags(reachable);
  monitor_->startNotifier();
  service_->triggerChange();
  monitor_.reset();
  settle();
  EXPECT_EQ(notifications_, 0);
}

}  // namespace
