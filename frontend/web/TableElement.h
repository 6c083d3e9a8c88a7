#pragma once

#include <emscripten/html5.h>
#include <emscripten/val.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "frontend/web/Actions.h"
#include "platform/toolkit/TableRowList.h"
#include "platform/toolkit/TableView.h"

namespace vantory::web {

// A table as a list of buttons, one per row, under its section headers; the
// table's background message (an empty list's) shown in its place. Rows are
// built again only when the table was reloaded.
class TableElement {
 public:
  explicit TableElement(std::shared_ptr<platform::TableView> table);
  ~TableElement();
  TableElement(const TableElement&) = delete;
  TableElement& operator=(const TableElement&) = delete;

  const emscripten::val& element() const { return element_; }
  void update();

 private:
  // A later frame's part of the rows, for the build it was scheduled for.
  struct Continuation {
    TableElement* table;
    int generation;
    int framesToWait;
  };
  // A list this short is built in one turn: cut in parts it would wait a
  // frame for rows that cost less than the frame.
  static constexpr std::size_t kWholeList = 200;
  static constexpr std::size_t kFirstRows = 60;
  static constexpr std::size_t kMoreRows = 100;
  static std::set<TableElement*>& live();
  static EM_BOOL continueRows(double time, void* continuation);

  void rebuild();
  // `inFrame`: called as a frame starts, not from a turn of its own.
  void appendRows(bool inFrame);
  void scheduleRows(bool inFrame);

  std::shared_ptr<platform::TableView> table_;
  emscripten::val element_;
  emscripten::val message_;
  emscripten::val list_;
  int seenReloads_ = -1;
  std::vector<platform::TableRowList::Entry> entries_;
  std::size_t built_ = 0;
  int generation_ = 0;
  ActionIds rows_;
};

}  // namespace vantory::web
