#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "net/Endpoint.h"
#include "net/LiveChanges.h"
#include "platform/toolkit/ActivityIndicatorView.h"
#include "platform/toolkit/TableView.h"
#include "platform/toolkit/ViewController.h"
#include "ui/common/ListReads.h"
#include "ui/common/RecordList.h"
#include "ui/common/RecordSender.h"
#include "ui/common/ScreenNavigator.h"

namespace vantory {

// What one list screen shows, and how.
struct ListScreenValues {
  enum class Shape {
    oneSection,        // one section, a row per record
    sectionPerRecord,  // a section of one row per record
    grouped,           // a section per group, a row per record of the group
  };

  const Endpoint* endpoint;  // where the list comes from; its reply key names the list
  std::string cellIdentifier;
  std::string emptyListMessage;
  Shape shape;
  std::string nextScreen;  // identifier of the screen a row opens; empty: none
};

// The cycle every list screen runs: on appearing (and on its refresh button)
// it shows its activity indicator and asks its endpoint for the list; the
// reply is read, printed and picked on the URL session's queue, then applied
// on the main queue (list replaced, indicator hidden and stopped, table
// reloaded). Records are kept as text (RecordList) and read as a row shows them.
// The table shows a row per record or, once a fetch has found none, a
// centred brown message behind it. A row opens the next screen with its record as JSON text.
// While it is on show, a change that others make and that concerns it makes
// it read its list again, as its refresh button would (ListReads says when).
// Sends go through a RecordSender, screens open through a ScreenNavigator.
class ListViewController : public platform::ViewController,
                           public platform::TableViewDataSource,
                           public platform::TableViewDelegate {
 public:
  explicit ListViewController(ListScreenValues values);
  ~ListViewController() override;

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;

  void refresh();
  void printEmptyLabel();

  // The list of the last reply; absent before the first and after a reply
  // without a list.
  const std::optional<RecordList>& list() const { return list_; }

  platform::TableView* tableView() const { return tableView_; }
  platform::ActivityIndicatorView* activityIndicator() const { return activityIndicator_; }

  int numberOfSectionsInTableView(platform::TableView& tableView) override;
  int numberOfRowsInSection(platform::TableView& tableView, int section) override;
  std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
      platform::TableView& tableView, platform::IndexPath indexPath) override;
  void didSelectRowAtIndexPath(platform::TableView& tableView,
                               platform::IndexPath indexPath) override;

 protected:
  // The parameter of the list request; nothing when the screen lacks what it
  // needs to ask (then nothing is sent).
  virtual std::optional<std::string> listParameter() = 0;
  virtual void fillCell(platform::TableViewCell& cell, const nlohmann::json& record) = 0;
  // Load steps of the screen itself (record decoding, labels, bar buttons).
  virtual void setUpScreen() {}
  // Picks what the screen shows out of the reply's list (the array under the
  // endpoint's reply key), on the URL session's queue. By default all of it.
  virtual std::optional<RecordList> pickList(std::optional<RecordList> list) { return list; }
  // Runs on the main queue once the list has been asked for, while it is on its way.
  virtual void listRequested() {}
  // Runs on the main queue once a new list has been shown.
  virtual void listShown() {}
  // Whether a change made by someone concerns what the screen shows.
  virtual bool isConcernedBy(const Change& /*change*/) const { return false; }

  // The reply handling of the cycle (called on the URL session's queue), for
  // a reply already decoded and for one read as text.
  void processListResponse(const std::optional<nlohmann::json>& reply);
  void processListReply(ListReply reply);

  void showActivity();
  void hideActivity();

  // Sends the record to the endpoint ("name=" + its JSON text) with an
  // Idempotency-Key: a new one, or the key of the last send that did not
  // succeed when this is the same record again (the prompt reopened), so
  // that the service stores it once. Any JSON reply refreshes the screen. A send that is refused or
  // gets no usable reply stops the indicator, says why, and then runs reopenPrompt (on the main
  // queue) so that the person gets back what they typed. Nothing is sent when the record cannot be
  // written as JSON text.
  void sendRecord(const Endpoint& endpoint, const nlohmann::json& record, bool printReply,
                  std::function<void()> reopenPrompt, std::function<void()> afterSuccess = {});

  // Asks once more (the title and message, "Delete" and "Cancel"), then
  // sends the record to the endpoint; once the service has removed what this
  // screen shows, the screen goes back one. A refusal says why.
  void confirmRemoval(const std::string& title, const std::string& message,
                      const Endpoint& endpoint, nlohmann::json record);

  // Shows the indicator and asks the endpoint with the parameter; the JSON
  // reply goes to onReply on the URL session's queue. A fetch that is
  // refused or gets no usable reply stops the indicator and says so; the
  // list stays as it was.
  void fetch(const Endpoint& endpoint, const std::string& parameter,
             std::function<void(std::optional<nlohmann::json>)> onReply);

  const ScreenNavigator& navigator() const { return navigator_; }

  // The record behind a row, read whole; nothing when there is none.
  std::optional<nlohmann::json> recordAt(platform::IndexPath indexPath) const;

  platform::TableView* tableView_ = nullptr;
  platform::ActivityIndicatorView* activityIndicator_ = nullptr;

 private:
  int countOrEmptyMessage();
  // Reads the list again when the changes concern this screen on show.
  void changesArrived(const ChangeBatch& batch);
  // Shows the indicator and counts a read under way; gives what a fetch that
  // is refused or gets no usable reply runs (indicator stopped, the failure said).
  WebServiceCall::FailureCompletion beginFetch();
  std::optional<std::size_t> indexAt(platform::IndexPath indexPath) const;
  void fetchEnded();
  // The alert of a failed fetch, unless one is already shown for this screen.
  void showFetchFailure(const WebServiceCall::Failure& failure);

  ListScreenValues values_;
  ScreenNavigator navigator_{*this};
  RecordSender sender_;
  ListReads reads_;
  std::optional<RecordList> list_;
  // Whether the last fetch succeeded: only then is an empty list known to be empty.
  bool listFetched_ = false;
  bool fetchFailureShown_ = false;
  std::uint64_t changesToken_ = 0;
};

}  // namespace vantory
