#include "TerminalRenderer.h"

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
  std::string hints;
  const auto add = [&hints](const std::string& hint) {
    hints += (hints.empty() ? "" : "  ") + hint;
  };
  if (alert_) {
    add("Tab Next");
    add("Enter OK");
    add("Esc Cancel");
  } else {
    if (front.navigation != nullptr && front.navigation->viewControllers().size() > 1) {
      add("Esc Back");
    }
    if (screen_) {
      if (!screen_->typing()) {
        for (const auto& hint : screen_->hints()) {
          add(hint);
        }
      }
      add("Tab Next");
    }
    add(screen_ && screen_->typing() ? "Ctrl+C Quit" : "q Quit");
  }
  const int row = canvas_.rows() - 1;
  canvas_.blank(row, 0, canvas_.columns(), Canvas::reverse());
  canvas_.text(row, 1, canvas_.columns() - 2, hints, Canvas::reverse());
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
