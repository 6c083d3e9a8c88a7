#include "TerminalRenderer.h"

#include <string>
#include <vector>

#include "app/SettingsPrompt.h"
#include "platform/toolkit/NavigationController.h"

namespace vantory::terminal {

namespace {

constexpr char kBack[] = "\xE2\x80\xB9 Back";  // ‹ Back
const char* const kTurns[] = {"|", "/", "-", "\\"};

}  // namespace

TerminalRenderer::TerminalRenderer(std::shared_ptr<platform::Window> window, Canvas& canvas)
    : model_(std::move(window)), canvas_(canvas) {
  platform::ModelObject::setObserver(this);
}

TerminalRenderer::~TerminalRenderer() { platform::ModelObject::setObserver(nullptr); }

void TerminalRenderer::modelChanged(platform::ModelObject& /*object*/) { dirty_ = true; }

bool TerminalRenderer::animating() const { return screen_ && screen_->animating(); }

void TerminalRenderer::sync() {
  const platform::Window::Front front = model_->front();
  if (front.screen != nullptr && (!screen_ || &screen_->screen() != front.screen)) {
    screen_ = std::make_unique<ScreenView>(*front.screen);
  }
  if ((alert_ ? alert_->alert() : nullptr) != front.alert) {
    alert_ =
        front.alert != nullptr
            ? std::make_unique<AlertDialog>(std::static_pointer_cast<platform::AlertController>(
                  front.alert->shared_from_this()))
            : nullptr;
  }
}

void TerminalRenderer::drawIfNeeded() {
  if (dirty_ || animating()) {
    dirty_ = false;
    draw();
  }
}

void TerminalRenderer::draw() {
  sync();
  canvas_.clear();
  const platform::Window::Front front = model_->front();
  drawBar(front);
  if (screen_) {
    screen_->draw(canvas_, 1, canvas_.rows() - 2, canvas_.columns());
  }
  drawHints(front);
  if (alert_) {
    canvas_.hideCursor();
    alert_->draw(canvas_);
  }
  canvas_.refresh();
  turn_ = (turn_ + 1) % 4;
}

void TerminalRenderer::drawBar(const platform::Window::Front& front) {
  const int width = canvas_.columns();
  if (front.navigation == nullptr || front.screen == nullptr) {
    return;
  }
  const auto& bar = front.navigation->navigationBar();
  const auto tint = canvas_.color(bar.tintColor()) | Canvas::bold();
  int left = 1;
  if (front.navigation->viewControllers().size() > 1) {
    left += canvas_.text(0, left, width / 3, kBack, tint) + 1;
  }
  const int side = std::max(left, 4);
  canvas_.text(0, side, width - 2 * side, front.screen->navigationItem().title().value_or(""),
               canvas_.color(bar.titleTextAttributes().foregroundColor) | Canvas::bold(),
               Canvas::Align::center);
  if (animating()) {
    canvas_.text(0, width - 2, 1, kTurns[turn_], tint);
  }
}

void TerminalRenderer::drawHints(const platform::Window::Front& front) {
  std::vector<std::string> hints;
  if (alert_) {
    hints = {"Tab Next", "Enter OK", "Esc Cancel"};
  } else {
    if (front.navigation != nullptr && front.navigation->viewControllers().size() > 1) {
      hints.emplace_back("Esc Back");
    }
    if (screen_) {
      if (!screen_->typing()) {
        for (const auto& hint : screen_->hints()) {
          hints.push_back(hint);
        }
      }
      hints.emplace_back("Tab Next");
      hints.emplace_back("F2 Settings");
    }
    hints.emplace_back(screen_ && screen_->typing() ? "Ctrl+C Quit" : "q Quit");
  }
  // Whole hints only: those that do not fit give way to an ellipsis, and the
  // last one (how to quit or cancel) always shows.
  const int room = canvas_.columns() - 2;
  const std::string& last = hints.back();
  std::string line;
  bool cut = false;
  for (std::size_t i = 0; i + 1 < hints.size(); ++i) {
    const std::string longer = line + (line.empty() ? "" : "  ") + hints[i];
    if (Canvas::width(longer) + Canvas::width("  \xE2\x80\xA6  " + last) > room) {
      cut = true;
      break;
    }
    line = longer;
  }
  line += std::string(cut ? "  \xE2\x80\xA6" : "") + (line.empty() && !cut ? "" : "  ") + last;
  const int row = canvas_.rows() - 1;
  canvas_.blank(row, 0, canvas_.columns(), Canvas::reverse());
  canvas_.text(row, 1, room, line, Canvas::reverse());
}

bool TerminalRenderer::goBack(const platform::Window::Front& front) {
  if (front.navigation == nullptr || front.navigation->viewControllers().size() <= 1) {
    return false;
  }
  front.navigation->popViewControllerAnimated(true);
  return true;
}

void TerminalRenderer::handle(const Key& key) {
  dirty_ = true;
  if (key.isFunction(KEY_RESIZE)) {
    return;  // drawn anew at the new size
  }
  if (key.is(3)) {  // Ctrl+C
    finished_ = true;
    return;
  }
  sync();
  if (alert_) {
    alert_->handle(key);
    return;
  }
  const platform::Window::Front front = model_->front();
  if (!screen_) {
    finished_ = key.is(L'q');
    return;
  }
  if (key.isFunction(KEY_F(5)) || key.is(18)) {  // F5, Ctrl+R
    screen_->refresh();
    return;
  }
  if (key.isFunction(KEY_F(2))) {
    SettingsPrompt::present(*model_);
    return;
  }
  if (screen_->handle(key)) {
    return;
  }
  if (key.isEscape() || key.isBackspace()) {
    goBack(front);
  } else if (key.is(L'r')) {
    screen_->refresh();
  } else if (key.is(L'q')) {
    finished_ = true;
  }
}

}  // namespace vantory::terminal
