#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Color.h"
#include "Font.h"
#include "TableView.h"

namespace platform {

// A table's sections and rows as one list, the way front-ends draw it: an
// entry for each section's header (when it has one), then the section's rows.
// Cells are asked of the table only for the entries a front-end shows.
class TableRowList {
 public:
  struct Entry {
    bool header = false;
    int section = 0;
    int row = 0;
  };
  // What a cell shows, whatever its prototype.
  struct CellContent {
    enum class Style { basic, rightDetail, item };  // item: three tagged labels
    Style style = Style::basic;
    std::optional<std::string> title;
    std::optional<std::string> detail;
    std::optional<std::string> third;  // an item's price
    std::optional<Color> tint;
  };
  // What a section header shows: its first label.
  struct HeaderContent {
    std::optional<std::string> text;
    std::optional<Color> color;
    std::optional<Font> font;
  };

  // Takes the table's counts (after a reload).
  static std::vector<Entry> entries(TableView& table);
  static CellContent cellContent(TableViewCell& cell);
  static HeaderContent headerContent(const View* header);
};

}  // namespace platform
