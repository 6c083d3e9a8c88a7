#include "TextView.h"

namespace platform {

void TextView::setText(std::optional<std::string> text) {
  text_ = std::move(text);
  notifyChanged();
}

}  // namespace platform
