#pragma once

#include <optional>

#include "ModelObject.h"
#include "TextAttributes.h"

namespace platform {

class NavigationBar : public ModelObject {
 public:
  // Colour of the bar's buttons.
  const std::optional<Color>& tintColor() const { return tintColor_; }
  void setTintColor(std::optional<Color> color);

  const TextAttributes& titleTextAttributes() const { return titleTextAttributes_; }
  void setTitleTextAttributes(TextAttributes attributes);

 private:
  std::optional<Color> tintColor_;
  TextAttributes titleTextAttributes_;
};

}  // namespace platform
