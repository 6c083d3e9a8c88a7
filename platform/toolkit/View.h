#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Color.h"
#include "Geometry.h"
#include "ModelObject.h"

namespace platform {

// The border look of a view (its layer).
struct LayerStyle {
  std::optional<Color> borderColor;
  double borderWidth = 0;
  double cornerRadius = 0;
  bool operator==(const LayerStyle&) const = default;
};

// A rectangle on screen with a background and subviews.
class View : public ModelObject, public std::enable_shared_from_this<View> {
 public:
  explicit View(Rect frame = {});

  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame);
  Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }

  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color);

  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);

  int tag() const { return tag_; }
  void setTag(int tag);

  // A name for renderers and tests (the layout's outlet name, or a button's
  // action); empty when the layout gives none.
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }

  const LayerStyle& layer() const { return layer_; }
  void setBorderColor(std::optional<Color> color);
  void setBorderWidth(double width);
  void setCornerRadius(double radius);

  void addSubview(const std::shared_ptr<View>& view);
  void removeFromSuperview();
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  View* superview() const { return superview_; }

  // This view or the first subview (depth first) with the tag.
  View* viewWithTag(int tag);

 private:
  Rect frame_;
  std::optional<Color> backgroundColor_;
  bool hidden_ = false;
  int tag_ = 0;
  std::string identifier_;
  LayerStyle layer_;
  std::vector<std::shared_ptr<View>> subviews_;
  View* superview_ = nullptr;
};

}  // namespace platform
