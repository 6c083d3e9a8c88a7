#pragma once

#include <emscripten/val.h>

#include <memory>
#include <string>

#include "frontend/web/Actions.h"
#include "platform/toolkit/TableView.h"

namespace vantory::web {

// A table as a list of buttons, one per row, under its section headers; the
// table's background message (an empty list's) shown in its place. Rows are
// built again only when the table was reloaded.
class TableElement {
 public:
  explicit TableElement(std::shared_ptr<platform::TableView> table);

  const emscripten::val& element() const { return element_; }
  void update();

 private:
  void rebuild();

  std::shared_ptr<platform::TableView> table_;
  emscripten::val element_;
  emscripten::val message_;
  emscripten::val list_;
  int seenReloads_ = -1;
  ActionIds rows_;
};

}  // namespace vantory::web
