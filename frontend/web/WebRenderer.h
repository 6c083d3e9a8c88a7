#pragma once

#include <emscripten/val.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
  // What the bar shows and whose buttons it holds. The bar is built again
  // only when that changes: a button built again under a finger loses its
  // tap, and one with the keyboard's focus loses the focus.
  struct BarContent {
    struct Button {
      std::weak_ptr<platform::BarButtonItem> item;
      std::string text;
      bool enabled = true;
    };
    platform::ViewController* screen = nullptr;
    platform::NavigationController* back = nullptr;  // popped by the back button, if shown
    std::string tint = "inherit";
    std::string titleColor = "inherit";
    std::optional<std::string> title;
    std::vector<Button> left;
    std::vector<Button> right;  // the outer one first

    bool sameAs(const BarContent& other) const;
  };

  void draw();
  BarContent barContent(const platform::Window::Front& front) const;
  void drawBar(const platform::Window::Front& front);
  emscripten::val barButtons() const;
  // The place among the bar's buttons of the one with the keyboard's focus.
  std::optional<int> focusedBarButton() const;
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
  BarContent barShown_;
  bool screenShownBefore_ = false;
  bool drawScheduled_ = false;
  bool drawing_ = false;
  int historyDepth_ = 1;
};

}  // namespace vantory::web
