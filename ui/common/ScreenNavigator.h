#pragma once

#include <functional>
#include <string>

#include "platform/toolkit/ViewController.h"

namespace vantory {

// How a screen opens the next one and goes back: by identifier, from the
// storyboard, on the navigation stack of the screen it belongs to (nothing
// happens without one).
class ScreenNavigator {
 public:
  explicit ScreenNavigator(platform::ViewController& screen) : screen_(screen) {}

  // Makes the screen, lets the caller hand it its data, then pushes it on
  // the main queue.
  void open(const std::string& identifier,
            const std::function<void(platform::ViewController&)>& prepare) const;
  // The same for a screen opened on one record, handed over as JSON text.
  void openWithRecord(const std::string& identifier, const std::string& recordInfo) const;
  void goBack() const;

 private:
  platform::ViewController& screen_;
};

}  // namespace vantory
