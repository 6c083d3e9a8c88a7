#include "WebRenderer.h"

#include <emscripten/bind.h>
#include <emscripten/emscripten.h>

#include <algorithm>

#include "frontend/web/Dom.h"
#include "platform/toolkit/BarButtonItem.h"
#include "platform/toolkit/NavigationController.h"

namespace vantory::web {

using emscripten::val;

namespace {

WebRenderer*& currentRenderer() {
  static WebRenderer* renderer = nullptr;
  return renderer;
}

val history() { return val::global("history"); }

val depthState(int depth) {
  val state = val::object();
  state.set("depth", depth);
  return state;
}

}  // namespace

WebRenderer::WebRenderer(std::shared_ptr<platform::Window> window)
    : model_(std::move(window)),
      bar_(Dom::byId("bar")),
      main_(Dom::byId("screen")),
      alertLayer_(Dom::byId("alert")) {
  currentRenderer() = this;
  platform::ModelObject::setObserver(this);
  // A reload starts again at the first screen. A new page's entry has no
  // state yet, which counts as the first screen: replacing it would cost the
  // start a few milliseconds for nothing.
  if (!history()["state"].isNull()) {
    history().call<void>("replaceState", depthState(1), std::string(""));
  }
  draw();
}

WebRenderer::~WebRenderer() {
  platform::ModelObject::setObserver(nullptr);
  currentRenderer() = nullptr;
}

WebRenderer* WebRenderer::current() { return currentRenderer(); }

void WebRenderer::modelChanged(platform::ModelObject& /*object*/) {
  if (drawScheduled_) {
    return;
  }
  drawScheduled_ = true;
  if (drawing_) {
    emscripten_async_call([](void* /*unused*/) { drawIfPending(); }, nullptr, 0);
  } else {
    Dom::callAtEndOfTurn("vantoryDraw");
  }
}

void WebRenderer::drawIfPending() {
  WebRenderer* renderer = currentRenderer();
  if (renderer != nullptr && renderer->drawScheduled_ && !renderer->drawing_) {
    renderer->draw();
  }
}

int WebRenderer::depth(const platform::Window::Front& front) const {
  return front.navigation != nullptr ? static_cast<int>(front.navigation->viewControllers().size())
                                     : 1;
}

void WebRenderer::draw() {
  drawScheduled_ = false;
  drawing_ = true;
  const platform::Window::Front front = model_->front();
  showScreen(front.screen);
  drawBar(front);
  showAlert(front.alert);
  followHistory(front);
  drawing_ = false;
}

void WebRenderer::showScreen(platform::ViewController* screen) {
  // Screens no longer on a stack are let go; the others keep their elements.
  std::erase_if(screens_, [this, screen](const auto& entry) {
    platform::ViewController* controller = entry.first;
    const auto& element = entry.second;
    const auto* navigation = controller->navigationController();
    const bool onStack =
        controller == screen ||
        (navigation != nullptr &&
         std::any_of(navigation->viewControllers().begin(), navigation->viewControllers().end(),
                     [controller](const auto& stacked) { return stacked.get() == controller; }));
    if (!onStack && element.get() == shown_) {
      shown_ = nullptr;
    }
    return !onStack;
  });
  if (screen == nullptr) {
    return;
  }
  auto& element = screens_[screen];
  if (!element) {
    element = std::make_unique<ScreenElement>(*screen);
  }
  val scroller = val::global("document")["scrollingElement"];
  if (shown_ != element.get()) {
    if (shown_ != nullptr) {
      shown_->scrollTop = scroller["scrollTop"].as<double>();
    }
    main_.call<void>("replaceChildren", element->element());
    element->update();
    // The page opens at its top. Setting the scroll there anyway would lay
    // out the whole page at once, in the middle of the app's start.
    if (screenShownBefore_) {
      scroller.set("scrollTop", element->scrollTop);
    }
    screenShownBefore_ = true;
    shown_ = element.get();
  } else {
    element->update();
  }
}

bool WebRenderer::BarContent::sameAs(const BarContent& other) const {
  const auto sameButtons = [](const std::vector<Button>& one, const std::vector<Button>& another) {
    return std::equal(one.begin(), one.end(), another.begin(), another.end(),
                      [](const Button& a, const Button& b) {
                        // The same item, still there: its tap goes where it went.
                        const auto item = a.item.lock();
                        return item != nullptr && item == b.item.lock() && a.text == b.text &&
                               a.enabled == b.enabled;
                      });
  };
  return screen == other.screen && back == other.back && tint == other.tint &&
         titleColor == other.titleColor && title == other.title && sameButtons(left, other.left) &&
         sameButtons(right, other.right);
}

WebRenderer::BarContent WebRenderer::barContent(const platform::Window::Front& front) const {
  BarContent content;
  content.screen = front.screen;
  if (front.screen == nullptr) {
    return content;
  }
  if (front.navigation != nullptr) {
    const auto& bar = front.navigation->navigationBar();
    if (bar.tintColor()) {
      content.tint = Dom::color(*bar.tintColor());
    }
    if (bar.titleTextAttributes().foregroundColor) {
      content.titleColor = Dom::color(*bar.titleTextAttributes().foregroundColor);
    }
  }
  if (depth(front) > 1) {
    content.back = front.navigation;
  }
  const auto& item = front.screen->navigationItem();
  content.title = item.title();
  const auto button = [](const std::shared_ptr<platform::BarButtonItem>& bar) {
    const bool refresh = bar->systemItem() == platform::BarButtonSystemItem::refresh;
    return BarContent::Button{bar, refresh && bar->title().empty() ? "Refresh" : bar->title(),
                              bar->isEnabled()};
  };
  for (const auto& bar : item.leftBarButtonItems()) {
    content.left.push_back(button(bar));
  }
  // The first right item sits at the outer edge.
  const auto& rightItems = item.rightBarButtonItems();
  for (auto bar = rightItems.rbegin(); bar != rightItems.rend(); ++bar) {
    content.right.push_back(button(*bar));
  }
  return content;
}

val WebRenderer::barButtons() const {
  return bar_.call<val>("querySelectorAll", std::string("button"));
}

std::optional<int> WebRenderer::focusedBarButton() const {
  const val focused = val::global("document")["activeElement"];
  if (focused.isNull() || !bar_.call<bool>("contains", focused)) {
    return std::nullopt;
  }
  const val buttons = barButtons();
  const int count = buttons["length"].as<int>();
  for (int index = 0; index < count; ++index) {
    if (buttons[index].strictlyEquals(focused)) {
      return index;
    }
  }
  return std::nullopt;
}

void WebRenderer::drawBar(const platform::Window::Front& front) {
  BarContent content = barContent(front);
  if (content.sameAs(barShown_)) {
    return;
  }
  // On the same screen the keyboard stays where it was.
  const std::optional<int> focused =
      content.screen == barShown_.screen ? focusedBarButton() : std::nullopt;
  barShown_ = std::move(content);
  const BarContent& shown = barShown_;
  barActions_.clear();
  Dom::clear(bar_);
  if (shown.screen == nullptr) {
    return;
  }
  Dom::setStyle(bar_, "--tint", shown.tint);
  val left = Dom::create("div", "side left");
  val right = Dom::create("div", "side right");
  if (platform::NavigationController* navigation = shown.back) {
    val back =
        barActions_.button("back", [navigation] { navigation->popViewControllerAnimated(true); });
    back.call<void>("setAttribute", std::string("aria-label"), std::string("Back"));
    Dom::setText(back, std::string("\xE2\x80\xB9 Back"));  // ‹ Back
    left.call<void>("append", back);
  }
  const auto addButton = [this](val& side, const BarContent::Button& bar) {
    val button = barActions_.button("bar-button", [weak = bar.item] {
      if (auto tapped = weak.lock()) {
        tapped->tap();
      }
    });
    Dom::setText(button, bar.text);
    button.set("disabled", !bar.enabled);
    side.call<void>("append", button);
  };
  for (const auto& bar : shown.left) {
    addButton(left, bar);
  }
  for (const auto& bar : shown.right) {
    addButton(right, bar);
  }
  val title = Dom::create("h1", "title");
  Dom::setText(title, shown.title);
  title.set("title", shown.title.value_or(""));
  Dom::setStyle(title, "color", shown.titleColor);
  bar_.call<void>("append", left, title, right);
  val::global("document").set("title", shown.title.value_or("Vantory"));
  if (focused) {
    const val buttons = barButtons();
    if (*focused < buttons["length"].as<int>()) {
      buttons[*focused].call<void>("focus");
    }
  }
}

void WebRenderer::showAlert(platform::AlertController* alert) {
  if ((alert_ ? alert_->alert() : nullptr) == alert) {
    if (alert_) {
      alert_->update();
    }
    return;
  }
  Dom::clear(alertLayer_);
  alert_.reset();
  main_.set("inert", alert != nullptr);
  bar_.set("inert", alert != nullptr);
  if (alert == nullptr) {
    return;
  }
  alert_ = std::make_unique<AlertElement>(
      std::static_pointer_cast<platform::AlertController>(alert->shared_from_this()));
  alertLayer_.call<void>("append", alert_->element());
  alert_->focus();
}

void WebRenderer::followHistory(const platform::Window::Front& front) {
  const int modelDepth = depth(front);
  while (historyDepth_ < modelDepth) {
    ++historyDepth_;
    history().call<void>("pushState", depthState(historyDepth_), std::string(""));
  }
  if (historyDepth_ > modelDepth) {
    // The app went back on its own (or by the bar's button): the browser's
    // history goes back with it.
    history().call<void>("go", modelDepth - historyDepth_);
    historyDepth_ = modelDepth;
  }
}

void WebRenderer::historyMoved(int depth) {
  const platform::Window::Front front = model_->front();
  const int modelDepth = this->depth(front);
  historyDepth_ = depth;
  if (depth >= modelDepth || front.navigation == nullptr) {
    followHistory(front);  // forward, or already there: the history follows the app
    return;
  }
  if (front.alert != nullptr) {
    // Back over an open dialog closes the dialog, not the screen.
    if (auto cancel = front.alert->cancelAction()) {
      front.alert->tapAction(cancel);
    }
    followHistory(front);
    return;
  }
  for (int step = depth; step < modelDepth; ++step) {
    front.navigation->popViewControllerAnimated(true);
  }
}

}  // namespace vantory::web

namespace {
void historyMoved(int depth) {
  if (auto* renderer = vantory::web::WebRenderer::current()) {
    renderer->historyMoved(depth);
  }
}
}  // namespace

EMSCRIPTEN_BINDINGS(vantory_renderer) {
  emscripten::function("vantoryHistory", &historyMoved);
  emscripten::function("vantoryDraw", &vantory::web::WebRenderer::drawIfPending);
}
