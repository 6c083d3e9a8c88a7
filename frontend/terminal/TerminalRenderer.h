#pragma once

#include <memory>

#include "frontend/terminal/AlertDialog.h"
#include "frontend/terminal/Canvas.h"
#include "frontend/terminal/Key.h"
#include "frontend/terminal/ScreenView.h"
#include "platform/toolkit/ModelObject.h"
#include "platform/toolkit/Window.h"

namespace vantory::terminal {

// Follows the toolkit model and draws it in the terminal: the navigation bar
// on the top line (back, the title, the turning indicator), the screen in
// front below it, a hint line of keys at the bottom, and the alert shown over
// it all. Keys go to the alert when one is shown, else to the screen; Escape
// and Backspace go back, r (F5, Ctrl+R) refreshes, F2 opens the settings,
// q (Ctrl+C) quits.
class TerminalRenderer : public platform::ModelObserver {
 public:
  TerminalRenderer(std::shared_ptr<platform::Window> window, Canvas& canvas);
  ~TerminalRenderer() override;

  void modelChanged(platform::ModelObject& object) override;
  void handle(const Key& key);
  // Draws when something changed (or the indicator turns).
  void drawIfNeeded();

  bool animating() const;
  bool finished() const { return finished_; }

 private:
  void sync();
  void draw();
  void drawBar(const platform::Window::Front& front);
  void drawHints(const platform::Window::Front& front);
  bool goBack(const platform::Window::Front& front);

  std::shared_ptr<platform::Window> model_;
  Canvas& canvas_;
  std::unique_ptr<ScreenView> screen_;
  std::unique_ptr<AlertDialog> alert_;
  bool dirty_ = true;
  bool finished_ = false;
  int turn_ = 0;
};

}  // namespace vantory::terminal
