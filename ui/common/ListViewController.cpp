#include "ListViewController.h"

#include <algorithm>

#include "net/ServerApi.h"
#include "platform/Console.h"
#include "platform/DispatchQueue.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/NavigationController.h"
#include "ui/common/RecordText.h"
#include "ui/common/UiUtility.h"
#include "ui/common/Utility.h"

namespace vantory {

using platform::DispatchQueue;
using platform::IndexPath;

ListViewController::ListViewController(ListScreenValues values) : values_(std::move(values)) {
  outlet("tableView", tableView_);
  outlet("activityIndicator", activityIndicator_);
}

ListViewController::~ListViewController() {
  if (changesToken_ != 0) {
    LiveChanges::removeObserver(changesToken_);
  }
}

void ListViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  changesToken_ =
      LiveChanges::addObserver([weak = std::weak_ptr<ListViewController>(
                                    sharedThis<ListViewController>())](const ChangeBatch& batch) {
        if (const auto self = weak.lock()) {
          self->changesArrived(batch);
        }
      });
  UiUtility::styleNavigationBar(*this);
  UiUtility::setBackgroundPattern(*this);
  setUpScreen();
  if (activityIndicator_ != nullptr) {
    activityIndicator_->setHidden(true);
  }
}

void ListViewController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  refresh();
}

void ListViewController::showActivity() {
  if (activityIndicator_ != nullptr) {
    activityIndicator_->setHidden(false);
    activityIndicator_->startAnimating();
  }
}

void ListViewController::hideActivity() {
  if (activityIndicator_ != nullptr) {
    activityIndicator_->setHidden(true);
    activityIndicator_->stopAnimating();
  }
}

void ListViewController::refresh() {
  const std::optional<std::string> parameter = listParameter();
  if (!parameter) {
    return;  // without its record the screen has nothing to ask for
  }
  const WebServiceCall::FailureCompletion failed = beginFetch();
  // The body is read here rather than as a JSON reply, so that a list goes
  // straight into text and never becomes a value per record.
  std::shared_ptr<WebServiceCall> call = ServerApi::makeCall(*values_.endpoint);
  call->setReponseType(ResponseType::DATA);
  call->callWebserviceWithParams(
      *parameter, {}, {},
      [self = sharedThis<ListViewController>(), failed](const platform::Data& body) {
        std::string error;
        std::optional<ListReply> reply =
            ListReply::read(body, self->values_.endpoint->replyKey, &error);
        if (!reply) {
          // Not JSON: printed and failed, as a JSON reply that does not parse is.
          platform::Console::print(error);
          failed({});
          return;
        }
        self->processListReply(std::move(*reply));
        // The reply's own work on the main queue comes first, then this count.
        DispatchQueue::main().async([self] { self->fetchEnded(); });
      },
      failed);
  listRequested();
}

void ListViewController::changesArrived(const ChangeBatch& batch) {
  const bool onShow =
      navigationController() != nullptr && navigationController()->topViewController() == this;
  if (!onShow || (!batch.everything &&
                  std::none_of(batch.changes.begin(), batch.changes.end(),
                               [this](const Change& change) { return isConcernedBy(change); }))) {
    return;
  }
  if (reads_.changeArrived()) {
    refresh();
  }
}

void ListViewController::fetchEnded() {
  if (reads_.ended()) {
    refresh();
  }
}

void ListViewController::fetch(const Endpoint& endpoint, const std::string& parameter,
                               std::function<void(std::optional<nlohmann::json>)> onReply) {
  const WebServiceCall::FailureCompletion failed = beginFetch();
  // The reply's own work on the main queue comes first, then this count.
  auto counted = [self = sharedThis<ListViewController>(),
                  onReply = std::move(onReply)](std::optional<nlohmann::json> reply) {
    onReply(std::move(reply));
    DispatchQueue::main().async([self] { self->fetchEnded(); });
  };
  ServerApi::makeCall(endpoint)->callWebserviceWithParams(parameter, {}, std::move(counted), {},
                                                          failed);
}

WebServiceCall::FailureCompletion ListViewController::beginFetch() {
  showActivity();
  reads_.began();
  return [self = sharedThis<ListViewController>()](const WebServiceCall::Failure& failure) {
    DispatchQueue::main().async([self, failure] {
      self->fetchEnded();
      self->hideActivity();
      // A service that cannot be reached must not look like an empty one.
      self->listFetched_ = false;
      if (self->tableView_ != nullptr) {
        self->tableView_->setBackgroundView(nullptr);  // the rows, if any, stay
      }
      self->showFetchFailure(failure);
    });
  };
}

void ListViewController::showFetchFailure(const WebServiceCall::Failure& failure) {
  // A detail screen's two requests may both fail: one alert says it.
  if (fetchFailureShown_) {
    return;
  }
  fetchFailureShown_ = true;
  UiUtility::showFailure(*this, failure.message,
                         [self = sharedThis<ListViewController>()](platform::AlertAction&) {
                           self->fetchFailureShown_ = false;
                         });
}

void ListViewController::processListResponse(const std::optional<nlohmann::json>& reply) {
  processListReply(ListReply::of(reply, values_.endpoint->replyKey));
}

void ListViewController::processListReply(ListReply reply) {
  platform::Console::print(reply.printed());
  // Only the main queue touches the list, so the table never sees it change
  // between its counts and its rows.
  auto list = std::make_shared<std::optional<RecordList>>(pickList(std::move(reply.list)));
  DispatchQueue::main().async([self = sharedThis<ListViewController>(), list] {
    // A list read again because of others' changes, and found unchanged, is
    // not drawn again: what the person touches stays as it is.
    const bool unchanged =
        self->reads_.takeKeepUnchanged() && self->listFetched_ && *list == self->list_;
    self->list_ = std::move(*list);
    self->listFetched_ = true;
    self->hideActivity();
    if (self->tableView_ != nullptr && !unchanged) {
      self->tableView_->reloadData();
    }
    self->listShown();
  });
}

void ListViewController::printEmptyLabel() {
  if (tableView_ == nullptr) {
    return;
  }
  const platform::Rect bounds = view().bounds();
  auto label = std::make_shared<platform::Label>(platform::Rect{0, 0, bounds.width, bounds.height});
  label->setText(values_.emptyListMessage);
  label->setTextColor(platform::Color::brownColor());
  label->setTextAlignment(platform::TextAlignment::center);
  label->setFont(platform::Font::boldSystemFontOfSize(16.0));
  label->sizeToFit();
  tableView_->setBackgroundView(label);
}

int ListViewController::countOrEmptyMessage() {
  const bool empty = !list_ || list_->empty();
  // Empty means a fetch said so: not while the first one runs, nor after one failed.
  if (empty && listFetched_) {
    printEmptyLabel();
  } else if (tableView_ != nullptr) {
    tableView_->setBackgroundView(nullptr);
  }
  if (empty) {
    return 0;
  }
  return static_cast<int>(values_.shape == ListScreenValues::Shape::grouped ? list_->groupCount()
                                                                            : list_->size());
}

int ListViewController::numberOfSectionsInTableView(platform::TableView& /*tableView*/) {
  if (values_.shape == ListScreenValues::Shape::oneSection) {
    return 1;
  }
  return countOrEmptyMessage();
}

int ListViewController::numberOfRowsInSection(platform::TableView& /*tableView*/, int section) {
  switch (values_.shape) {
    case ListScreenValues::Shape::oneSection:
      return countOrEmptyMessage();
    case ListScreenValues::Shape::sectionPerRecord:
      return 1;
    case ListScreenValues::Shape::grouped:
      return list_ && section >= 0
                 ? static_cast<int>(list_->groupSize(static_cast<std::size_t>(section)))
                 : 0;
  }
  return 0;
}

std::optional<std::size_t> ListViewController::indexAt(IndexPath indexPath) const {
  if (!list_ || indexPath.section < 0 || indexPath.row < 0) {
    return std::nullopt;
  }
  const auto section = static_cast<std::size_t>(indexPath.section);
  const auto row = static_cast<std::size_t>(indexPath.row);
  std::optional<std::size_t> index;
  switch (values_.shape) {
    case ListScreenValues::Shape::oneSection:
      index = row;
      break;
    case ListScreenValues::Shape::sectionPerRecord:
      index = section;
      break;
    case ListScreenValues::Shape::grouped:
      return list_->indexInGroup(section, row);
  }
  return index && *index < list_->size() ? index : std::nullopt;
}

std::optional<nlohmann::json> ListViewController::recordAt(IndexPath indexPath) const {
  const std::optional<std::size_t> index = indexAt(indexPath);
  if (!index) {
    return std::nullopt;
  }
  return list_->record(*index);
}

std::shared_ptr<platform::TableViewCell> ListViewController::cellForRowAtIndexPath(
    platform::TableView& tableView, IndexPath indexPath) {
  auto cell = tableView.dequeueReusableCellWithIdentifier(values_.cellIdentifier, indexPath);
  // A row that is not a record is shown empty rather than trusted.
  fillCell(*cell, recordAt(indexPath).value_or(nlohmann::json::object()));
  cell->setTintColor(platform::Color::redColor());
  return cell;
}

void ListViewController::didSelectRowAtIndexPath(platform::TableView& /*tableView*/,
                                                 IndexPath indexPath) {
  if (values_.nextScreen.empty()) {
    return;
  }
  const std::optional<nlohmann::json> record = recordAt(indexPath);
  if (!record) {
    return;
  }
  const std::optional<std::string> recordInfo = Utility::convertToJsonString(*record);
  if (!recordInfo) {
    return;
  }
  navigator_.openWithRecord(values_.nextScreen, *recordInfo);
}

void ListViewController::sendRecord(const Endpoint& endpoint, const nlohmann::json& record,
                                    bool printReply, std::function<void()> reopenPrompt,
                                    std::function<void()> afterSuccess) {
  const std::optional<std::string> recordText = Utility::convertToJsonString(record);
  if (!recordText) {
    return;
  }
  showActivity();
  // A send counts as a read under way: a change it causes, heard of before
  // its own refresh, is read after that refresh instead of beside it.
  reads_.began();
  auto self = sharedThis<ListViewController>();
  const std::string parameter = ServerApi::parameterText(endpoint, *recordText);
  sender_.callFor(endpoint, parameter)
      ->callWebserviceWithParams(
          parameter, {},
          [self, printReply,
           afterSuccess = std::move(afterSuccess)](const std::optional<nlohmann::json>& reply) {
            // Any JSON reply counts as done; its content is not read.
            if (printReply) {
              platform::Console::print(RecordText::describe(reply));
            }
            DispatchQueue::main().async([self, afterSuccess] {
              self->sender_.succeeded();
              if (afterSuccess) {
                self->hideActivity();
                afterSuccess();
              } else {
                self->refresh();
              }
              self->fetchEnded();
            });
          },
          {},
          [self, reopenPrompt = std::move(reopenPrompt)](const WebServiceCall::Failure& failure) {
            DispatchQueue::main().async([self, reopenPrompt, failure] {
              self->fetchEnded();
              self->hideActivity();
              UiUtility::showFailure(*self, failure.message);
              // Shown once the alert is dismissed: presentations wait their turn.
              if (reopenPrompt) {
                reopenPrompt();
              }
            });
          });
}

void ListViewController::confirmRemoval(const std::string& title, const std::string& message,
                                        const Endpoint& endpoint, nlohmann::json record) {
  std::weak_ptr<ListViewController> weak = sharedThis<ListViewController>();
  UiUtility::showAlertWithActions(
      title, message, *this, "Delete",
      [weak, &endpoint, record = std::move(record)](platform::AlertAction&) {
        if (const auto self = weak.lock()) {
          self->sendRecord(endpoint, record, true, {}, [weak] {
            if (const auto removed = weak.lock()) {
              removed->navigator().goBack();
            }
          });
        }
      },
      "Cancel", {});
}

}  // namespace vantory
