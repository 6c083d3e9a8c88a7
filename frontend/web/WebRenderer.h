#pragma once

#include <emscripten/val.h>

#include <map>
#include <memory>

#include "frontend/web/Actions.h"
#include "frontend/web/AlertElement.h"
#include "frontend/web/ScreenElement.h"
#include "platform/toolkit/ModelObject.h"
#include "platform/toolkit/Window.h"

namespace vantory::web {

// Follows the toolkit model and draws it in the page: the navigation bar
// (back, the title, the bar's buttons, the turning indicator), the screen in
// front below it, and an alert as a modal dialog over both. The browser's
// history follows the navigation stack, so that its back button and back
// gesture go back one screen as the bar's back button does.
//
// Changes are drawn as soon as the turn that made them is done, before any
// other turn or frame: a reply is drawn in the turn it arrives in. What
// drawing itself changes is drawn in a turn of its own, so that a draw that
// always changed something could not hold the page.
class WebRenderer : public platform::ModelObserver {
 public:
  explicit WebRenderer(std::shared_ptr<platform::Window> window);
  ~WebRenderer() override;

  void modelChanged(platform::ModelObject& object) override;
  // The browser moved to the history entry of the given depth.
  void historyMoved(int depth);

  static WebRenderer* current();
  // Draws what changed, if it is not drawn yet: queued by a change, at the
  // end of its turn or, for a change made while drawing, in a turn of its own.
  static void drawIfPending();

 private:
  void draw();
  void drawBar(const platform::Window::Front& front);
  void showScreen(platform::ViewController* screen);
  void showAlert(platform::AlertController* alert);
  void followHistory(const platform::Window::Front& front);
  int depth(const platform::Window::Front& front) const;

  std::shared_ptr<platform::Window> model_;
  emscripten::val bar_;
  emscripten::val main_;
  emscripten::val alertLayer_;
  std::map<platform::ViewController*, std::unique_ptr<ScreenElement>> screens_;
  ScreenElement* shown_ = nullptr;
  std::unique_ptr<AlertElement> alert_;
  ActionIds barActions_;
  bool screenShownBefore_ = false;
  bool drawScheduled_ = false;
  bool drawing_ = false;
  int historyDepth_ = 1;
};

}  // namespace vantory::web
