#include "TableViewPane.h"

#include <algorithm>

#include "platform/toolkit/Label.h"

namespace vantory::terminal {

namespace {

using Content = platform::TableRowList::CellContent;

constexpr char kChevron[] = "\xE2\x80\xBA";  // ›

}  // namespace

TableViewPane::TableViewPane(std::shared_ptr<platform::TableView> table)
    : table_(std::move(table)) {
  follow();
}

void TableViewPane::follow() {
  if (table_->reloadCount() == seenReloads_) {
    return;
  }
  seenReloads_ = table_->reloadCount();
  entries_ = platform::TableRowList::entries(*table_);
  // Where the person was, before the reload or before they left the screen.
  const auto position = table_->position();
  const std::size_t last = entries_.empty() ? 0 : entries_.size() - 1;
  top_ = std::min(position.top, last);
  selected_ = std::min(position.marked, last);
  moveSelection(0);
  remember();
}

void TableViewPane::remember() { table_->setPosition({top_, selected_}); }

bool TableViewPane::markedRowDeletable() {
  follow();
  return hasRows() && selected_ < entries_.size() && !entries_[selected_].header &&
         table_->canDeleteRowAtIndexPath({entries_[selected_].section, entries_[selected_].row});
}

bool TableViewPane::hasRows() const {
  for (const auto& entry : entries_) {
    if (!entry.header) {
      return true;
    }
  }
  return false;
}

int TableViewPane::linesOf(std::size_t entry) {
  if (entries_[entry].header) {
    return 1;
  }
  auto cell = table_->cellForRowAtIndexPath({entries_[entry].section, entries_[entry].row});
  return cell && platform::TableRowList::cellContent(*cell).style == Content::Style::item ? 2 : 1;
}

void TableViewPane::moveSelection(int steps) {
  if (!hasRows()) {
    return;
  }
  // Onto a row: headers are passed over.
  const int direction = steps < 0 ? -1 : 1;
  int remaining = std::abs(steps);
  std::size_t at = selected_;
  while (entries_[at].header && at + 1 < entries_.size()) {
    ++at;
  }
  while (remaining > 0) {
    std::size_t next = at;
    do {
      if ((direction < 0 && next == 0) || (direction > 0 && next + 1 >= entries_.size())) {
        next = at;
        remaining = 0;
        break;
      }
      next = direction < 0 ? next - 1 : next + 1;
    } while (entries_[next].header);
    at = next;
    --remaining;
  }
  selected_ = at;
}

void TableViewPane::keepSelectionInView(int height) {
  if (selected_ < top_) {
    top_ = selected_;
  }
  // Headers just above the selection come into view with it.
  while (top_ > 0 && top_ == selected_ && entries_[top_ - 1].header) {
    --top_;
  }
  int lines = 0;
  for (std::size_t entry = top_; entry <= selected_ && entry < entries_.size(); ++entry) {
    lines += linesOf(entry);
  }
  while (lines > height && top_ < selected_) {
    lines -= linesOf(top_);
    ++top_;
  }
}

void TableViewPane::draw(Canvas& canvas, int top, int left, int height, int width, bool focused) {
  follow();
  pageLines_ = std::max(1, height);
  if (auto* message = dynamic_cast<platform::Label*>(table_->backgroundView().get());
      message != nullptr && message->text()) {
    canvas.text(top + height / 2, left, width, *message->text(),
                canvas.color(message->textColor()) |
                    (message->font().bold ? Canvas::bold() : Canvas::Attributes{}),
                Canvas::Align::center);
  }
  if (entries_.empty()) {
    return;
  }
  keepSelectionInView(height);
  int row = top;
  for (std::size_t entry = top_; entry < entries_.size() && row < top + height; ++entry) {
    const auto& at = entries_[entry];
    if (at.header) {
      const auto header =
          platform::TableRowList::headerContent(table_->headerViewForSection(at.section).get());
      canvas.text(row++, left, width, header.text.value_or(""),
                  canvas.color(header.color) | Canvas::bold());
      continue;
    }
    auto cell = table_->cellForRowAtIndexPath({at.section, at.row});
    if (!cell) {
      continue;
    }
    const Content content = platform::TableRowList::cellContent(*cell);
    const bool selected = entry == selected_;
    const Canvas::Attributes mark = selected && focused ? Canvas::reverse() : 0;
    const int lines = content.style == Content::Style::item ? 2 : 1;
    for (int line = 0; line < lines && row + line < top + height; ++line) {
      canvas.blank(row + line, left, width, mark);
    }
    // The chevron in the cell's tint; the texts leave it room.
    canvas.text(row, left + width - 2, 1, kChevron, canvas.color(content.tint) | mark);
    const int room = width - 4;
    if (content.style == Content::Style::item) {
      const std::string price = content.third.value_or("");
      const int priceCells = Canvas::width(price);
      canvas.text(row, left + 1, room - priceCells - 1, content.title.value_or(""),
                  Canvas::bold() | mark);
      canvas.text(row, left + 1, room, price, mark, Canvas::Align::right);
      if (row + 1 < top + height) {
        canvas.text(row + 1, left + 1, room, content.detail.value_or(""), Canvas::dim() | mark);
      }
    } else {
      const std::string detail = content.detail.value_or("");
      const int detailCells = detail.empty() ? 0 : Canvas::width(detail) + 1;
      canvas.text(row, left + 1, room - detailCells, content.title.value_or(""), mark);
      canvas.text(row, left + 1, room, detail, mark, Canvas::Align::right);
    }
    row += lines;
  }
  remember();
}

bool TableViewPane::handle(const Key& key) {
  follow();
  if (key.isFunction(KEY_UP)) {
    moveSelection(-1);
  } else if (key.isFunction(KEY_DOWN)) {
    moveSelection(1);
  } else if (key.isFunction(KEY_PPAGE)) {
    moveSelection(-pageLines_ / 2);
  } else if (key.isFunction(KEY_NPAGE)) {
    moveSelection(pageLines_ / 2);
  } else if (key.isFunction(KEY_HOME)) {
    moveSelection(-static_cast<int>(entries_.size()));
  } else if (key.isFunction(KEY_END)) {
    moveSelection(static_cast<int>(entries_.size()));
  } else if (key.isEnter()) {
    if (hasRows() && !entries_[selected_].header) {
      table_->selectRowAtIndexPath({entries_[selected_].section, entries_[selected_].row});
    }
  } else if (key.isFunction(KEY_DC)) {
    if (markedRowDeletable()) {
      table_->deleteRowAtIndexPath({entries_[selected_].section, entries_[selected_].row});
    }
  } else {
    return false;
  }
  remember();
  return true;
}

}  // namespace vantory::terminal
