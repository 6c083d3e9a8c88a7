#pragma once

#include <memory>
#include <vector>

#include "frontend/terminal/Canvas.h"
#include "frontend/terminal/Key.h"
#include "platform/toolkit/TableRowList.h"
#include "platform/toolkit/TableView.h"

namespace vantory::terminal {

// A model table as a scrollable list: section headers in their colour, rows
// of one or two lines with a chevron in their tint, the empty-list message
// centred behind an empty table. Arrows, Page Up/Down, Home and End move the
// selection; Return opens the selected row.
class TableViewPane {
 public:
  explicit TableViewPane(std::shared_ptr<platform::TableView> table);

  void draw(Canvas& canvas, int top, int left, int height, int width, bool focused);
  // True when the key was the table's.
  bool handle(const Key& key);

  bool hasRows() const;
  // The marked row may be taken back (Delete).
  bool markedRowDeletable();
  platform::TableView& table() const { return *table_; }

 private:
  void follow();    // takes the table's counts again after a reload
  void remember();  // keeps the selection and scroll in the table's model
  int linesOf(std::size_t entry);
  void moveSelection(int steps);
  void keepSelectionInView(int height);

  std::shared_ptr<platform::TableView> table_;
  std::vector<platform::TableRowList::Entry> entries_;
  int seenReloads_ = -1;
  std::size_t selected_ = 0;  // an entry that is a row
  std::size_t top_ = 0;       // the first entry shown
  int pageLines_ = 10;
};

}  // namespace vantory::terminal
