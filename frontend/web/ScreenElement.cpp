#include "ScreenElement.h"

#include "frontend/web/Dom.h"
#include "platform/toolkit/ActivityIndicatorView.h"
#include "platform/toolkit/Button.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/TableView.h"
#include "platform/toolkit/TextView.h"

namespace vantory::web {

using emscripten::val;

ScreenElement::ScreenElement(platform::ViewController& screen)
    : screen_(screen.shared_from_this()),
      root_(screen.view().shared_from_this()),
      element_(Dom::create("div", "screen")) {
  bool hasTable = false;
  for (const auto& subview : root_->subviews()) {
    hasTable = hasTable || dynamic_cast<platform::TableView*>(subview.get()) != nullptr;
    shown_.push_back(make(subview));
    element_.call<void>("append", shown_.back().element);
  }
  if (!hasTable) {
    element_["classList"].call<void>("add", std::string("form"));
  }
  update();
}

ScreenElement::Shown ScreenElement::make(const std::shared_ptr<platform::View>& view) {
  Shown shown{view, val::null()};
  if (auto table = std::dynamic_pointer_cast<platform::TableView>(view)) {
    tables_.push_back(std::make_unique<TableElement>(table));
    shown.element = tables_.back()->element();
  } else if (auto field = std::dynamic_pointer_cast<platform::TextField>(view)) {
    std::weak_ptr<platform::TextField> weak = field;
    fields_.push_back(std::make_unique<TextFieldElement>(field, [weak] {
      if (auto typed = weak.lock()) {
        typed->pressReturn();
      }
    }));
    shown.element = fields_.back()->element();
  } else if (auto button = std::dynamic_pointer_cast<platform::Button>(view)) {
    std::weak_ptr<platform::Button> weak = button;
    shown.element = actions_.button("action", [weak] {
      if (auto tapped = weak.lock()) {
        tapped->tap();
      }
    });
  } else if (std::dynamic_pointer_cast<platform::ActivityIndicatorView>(view)) {
    shown.element = Dom::create("div", "spinner");
    shown.element.call<void>("setAttribute", std::string("role"), std::string("progressbar"));
    shown.element.call<void>("setAttribute", std::string("aria-label"), std::string("Loading"));
  } else if (std::dynamic_pointer_cast<platform::TextView>(view)) {
    shown.element = Dom::create("p", "textview");
  } else {
    shown.element = Dom::create("p", "label");
  }
  return shown;
}

void ScreenElement::update() {
  if (const auto& background = root_->backgroundColor()) {
    Dom::setStyle(element_, "background", Dom::background(*background));
  }
  for (auto& shown : shown_) {
    apply(shown);
  }
  for (const auto& table : tables_) {
    table->update();
  }
  for (const auto& field : fields_) {
    field->update();
  }
}

void ScreenElement::apply(Shown& shown) {
  platform::View& view = *shown.view;
  bool hidden = view.isHidden();
  if (auto* spinner = dynamic_cast<platform::ActivityIndicatorView*>(&view)) {
    hidden = hidden || !spinner->isAnimating();
  }
  Dom::setHidden(shown.element, hidden);
  if (auto* label = dynamic_cast<platform::Label*>(&view)) {
    Dom::setText(shown.element, label->text());
    Dom::applyFont(shown.element, label->font());
    Dom::setStyle(shown.element, "text-align", Dom::alignment(label->textAlignment()));
    if (label->textColor()) {
      Dom::setStyle(shown.element, "color", Dom::color(*label->textColor()));
    }
  } else if (auto* textView = dynamic_cast<platform::TextView*>(&view)) {
    Dom::setText(shown.element, textView->text());
  } else if (auto* button = dynamic_cast<platform::Button*>(&view)) {
    Dom::setText(shown.element, button->title());
  }
}

}  // namespace vantory::web
