#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Label.h"
#include "View.h"

namespace platform {

// What a cell prototype of the layout holds.
struct CellPrototype {
  enum class Style { basic, rightDetail, custom };
  Style style = Style::basic;
  std::vector<int> labelTags;  // custom cells: one label per tag
};

class TableViewCell : public View {
 public:
  TableViewCell(std::string reuseIdentifier, const CellPrototype& prototype);

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }

  // The built-in labels; absent where the prototype has none.
  Label* textLabel() const { return textLabel_.get(); }
  Label* detailTextLabel() const { return detailTextLabel_.get(); }

  const std::optional<Color>& tintColor() const { return tintColor_; }
  void setTintColor(std::optional<Color> color);

 private:
  std::string reuseIdentifier_;
  std::shared_ptr<Label> textLabel_;
  std::shared_ptr<Label> detailTextLabel_;
  std::optional<Color> tintColor_;
};

}  // namespace platform
