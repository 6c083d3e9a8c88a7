#pragma once

#include "View.h"

namespace platform {

// A spinner: turns while animating.
class ActivityIndicatorView : public View {
 public:
  explicit ActivityIndicatorView(Rect frame = {}) : View(frame) {}

  bool isAnimating() const { return animating_; }
  void startAnimating();
  void stopAnimating();

 private:
  bool animating_ = false;
};

}  // namespace platform
