#pragma once

#include <memory>

#include "Geometry.h"

namespace platform {

class TableView;
class TableViewCell;
class View;

// Answers what a table shows. Called on the main queue.
class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual int numberOfSectionsInTableView(TableView& tableView) = 0;
  virtual int numberOfRowsInSection(TableView& tableView, int section) = 0;
  virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView,
                                                               IndexPath indexPath) = 0;
};

// Reacts to selection and draws section headers. Every call is optional.
class TableViewDelegate {
 public:
  virtual ~TableViewDelegate() = default;
  virtual void didSelectRowAtIndexPath(TableView& /*tableView*/, IndexPath /*indexPath*/) {}
  // Whether the row may be taken back (a Delete key, a context menu), and
  // what doing so starts (usually a question first).
  virtual bool canDeleteRowAtIndexPath(TableView& /*tableView*/, IndexPath /*indexPath*/) {
    return false;
  }
  virtual void deleteRowAtIndexPath(TableView& /*tableView*/, IndexPath /*indexPath*/) {}
  virtual std::shared_ptr<View> viewForHeaderInSection(TableView& /*tableView*/, int /*section*/) {
    return nullptr;
  }
  // Negative: the table's default (no header).
  virtual double heightForHeaderInSection(TableView& /*tableView*/, int /*section*/) { return -1; }
};

}  // namespace platform
