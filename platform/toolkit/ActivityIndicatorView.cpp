#include "ActivityIndicatorView.h"

namespace platform {

void ActivityIndicatorView::startAnimating() {
  animating_ = true;
  notifyChanged();
}

void ActivityIndicatorView::stopAnimating() {
  animating_ = false;
  notifyChanged();
}

}  // namespace platform
