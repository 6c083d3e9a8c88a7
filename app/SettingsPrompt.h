#pragma once

#include <optional>
#include <string>

#include "platform/toolkit/ViewController.h"
#include "platform/toolkit/Window.h"

namespace vantory {

// The settings (the registered name and the service's address) as a prompt
// of the toolkit's own, for front-ends without a dialog of their own. Save
// checks and applies them as the Qt dialog does; a refusal is shown, and then
// the prompt again holding what was typed.
class SettingsPrompt {
 public:
  SettingsPrompt() = delete;

  static constexpr char kTitle[] = "Settings";

  // Over the screen in front of the window; with the values typed before,
  // else the ones in use.
  static void present(platform::Window& window, std::optional<std::string> name = std::nullopt,
                      std::optional<std::string> address = std::nullopt);
};

}  // namespace vantory
