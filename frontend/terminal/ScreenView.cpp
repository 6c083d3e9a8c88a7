#include "ScreenView.h"

#include <cwctype>

#include "frontend/terminal/TextFieldLine.h"
#include "platform/toolkit/ActivityIndicatorView.h"
#include "platform/toolkit/BarButtonItem.h"
#include "platform/toolkit/Button.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/TableView.h"
#include "platform/toolkit/TextField.h"
#include "platform/toolkit/TextView.h"

namespace vantory::terminal {

namespace {

constexpr int kTextViewLines = 3;
constexpr int kFieldWidth = 44;

Canvas::Align alignOf(platform::TextAlignment alignment) {
  switch (alignment) {
    case platform::TextAlignment::center:
      return Canvas::Align::center;
    case platform::TextAlignment::right:
      return Canvas::Align::right;
    case platform::TextAlignment::left:
      break;
  }
  return Canvas::Align::left;
}

}  // namespace

ScreenView::ScreenView(platform::ViewController& screen)
    : screen_(screen.shared_from_this()), root_(screen.view().shared_from_this()) {
  collect();
  assignShortcuts();
}

void ScreenView::collect() {
  for (const auto& view : root_->subviews()) {
    if (auto table = std::dynamic_pointer_cast<platform::TableView>(view)) {
      tables_[table.get()] = std::make_unique<TableViewPane>(table);
    }
    if (dynamic_cast<platform::TextField*>(view.get()) != nullptr ||
        dynamic_cast<platform::Button*>(view.get()) != nullptr ||
        dynamic_cast<platform::TableView*>(view.get()) != nullptr) {
      focusables_.push_back({view});
    }
  }
  // A form starts in its first field; a list screen in its list.
  for (std::size_t i = 0; i < focusables_.size(); ++i) {
    if (dynamic_cast<platform::TableView*>(focusables_[i].view.get()) != nullptr) {
      focus_ = i;
      return;
    }
  }
}

void ScreenView::assignShortcuts() {
  std::vector<std::pair<std::string, std::function<void()>>> actions;
  auto& item = screen_->navigationItem();
  for (const auto* items : {&item.leftBarButtonItems(), &item.rightBarButtonItems()}) {
    for (const auto& bar : *items) {
      std::weak_ptr<platform::BarButtonItem> weak = bar;
      actions.emplace_back(bar->title(), [weak] {
        if (auto tapped = weak.lock()) {
          tapped->tap();
        }
      });
    }
  }
  for (const auto& view : root_->subviews()) {
    if (auto button = std::dynamic_pointer_cast<platform::Button>(view)) {
      std::weak_ptr<platform::Button> weak = button;
      actions.emplace_back(button->title(), [weak] {
        if (auto tapped = weak.lock()) {
          tapped->tap();
        }
      });
    }
  }
  // The first letter of the title that is still free ("q" quits).
  std::string taken = "q";
  for (auto& [title, tap] : actions) {
    for (const char c : title) {
      const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (std::isalpha(static_cast<unsigned char>(letter)) != 0 &&
          taken.find(letter) == std::string::npos) {
        taken += letter;
        shortcuts_.push_back({static_cast<wint_t>(letter), title, std::move(tap)});
        break;
      }
    }
  }
}

platform::View* ScreenView::focused() const {
  return focus_ < focusables_.size() ? focusables_[focus_].view.get() : nullptr;
}

bool ScreenView::typing() const { return dynamic_cast<platform::TextField*>(focused()) != nullptr; }

bool ScreenView::animating() const {
  for (const auto& view : root_->subviews()) {
    if (auto* spinner = dynamic_cast<platform::ActivityIndicatorView*>(view.get());
        spinner != nullptr && !spinner->isHidden() && spinner->isAnimating()) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> ScreenView::hints() const {
  std::vector<std::string> hints;
  // First: it is about the row in view, and is gone with it.
  if (const auto table = tables_.find(focused());
      table != tables_.end() && table->second->markedRowDeletable()) {
    hints.emplace_back("Del Withdraw");
  }
  for (const auto& shortcut : shortcuts_) {
    hints.push_back(std::string(1, static_cast<char>(shortcut.letter)) + " " + shortcut.title);
  }
  return hints;
}

bool ScreenView::refresh() {
  auto& item = screen_->navigationItem();
  for (const auto* items : {&item.leftBarButtonItems(), &item.rightBarButtonItems()}) {
    for (const auto& bar : *items) {
      if (bar->systemItem() == platform::BarButtonSystemItem::refresh) {
        bar->tap();
        return true;
      }
    }
  }
  return false;
}

void ScreenView::moveFocus(int steps) {
  if (focusables_.empty()) {
    return;
  }
  const auto count = static_cast<int>(focusables_.size());
  focus_ = static_cast<std::size_t>(((static_cast<int>(focus_) + steps) % count + count) % count);
}

bool ScreenView::handle(const Key& key) {
  platform::View* view = focused();
  if (key.isTab() || key.isBackTab()) {
    moveFocus(key.isTab() ? 1 : -1);
    return true;
  }
  if (auto* field = dynamic_cast<platform::TextField*>(view)) {
    if (key.isEnter()) {
      // The field's own reply (the registration's closes the keyboard),
      // then on to what comes next.
      field->pressReturn();
      moveFocus(1);
      return true;
    }
    if (key.isFunction(KEY_DOWN) || key.isFunction(KEY_UP)) {
      moveFocus(key.isFunction(KEY_DOWN) ? 1 : -1);
      return true;
    }
    return TextFieldLine::edit(*field, key);
  }
  if (auto* button = dynamic_cast<platform::Button*>(view); button != nullptr && key.isEnter()) {
    button->tap();
    return true;
  }
  if (const auto table = tables_.find(view); table != tables_.end() && table->second->handle(key)) {
    return true;
  }
  for (const auto& shortcut : shortcuts_) {
    if (key.is(shortcut.letter) || key.is(static_cast<wint_t>(std::towupper(shortcut.letter)))) {
      shortcut.tap();
      return true;
    }
  }
  return false;
}

void ScreenView::draw(Canvas& canvas, int top, int height, int width) {
  const int column = 1;
  const int inner = width - 2;
  // Heights first: the table takes what the rest leaves.
  std::vector<std::pair<platform::View*, int>> items;
  int fixed = 0;
  bool hasTable = false;
  for (const auto& view : root_->subviews()) {
    if (view->isHidden() || dynamic_cast<platform::ActivityIndicatorView*>(view.get()) != nullptr) {
      continue;
    }
    int lines = 1;
    if (auto* textView = dynamic_cast<platform::TextView*>(view.get())) {
      lines = std::min(
          kTextViewLines,
          std::max(1, static_cast<int>(Canvas::wrap(textView->text().value_or(""), inner).size())));
    } else if (dynamic_cast<platform::TableView*>(view.get()) != nullptr) {
      hasTable = true;
      lines = 0;
    }
    fixed += lines;
    items.emplace_back(view.get(), lines);
  }
  const int tableLines = std::max(1, height - fixed - 1);
  int row = hasTable ? top : top + std::max(0, (height - fixed * 2) / 2);
  const int gap = hasTable ? 0 : 1;  // a form breathes
  for (auto& [view, lines] : items) {
    if (row >= top + height) {
      break;
    }
    const bool isFocused = view == focused();
    if (auto* label = dynamic_cast<platform::Label*>(view)) {
      canvas.text(row, column, inner, label->text().value_or(""),
                  canvas.color(label->textColor()) |
                      (label->font().bold ? Canvas::bold() : Canvas::Attributes{}),
                  alignOf(label->textAlignment()));
    } else if (auto* textView = dynamic_cast<platform::TextView*>(view)) {
      auto wrapped = Canvas::wrap(textView->text().value_or(""), inner);
      // What does not fit ends the last line, cut with "…".
      while (static_cast<int>(wrapped.size()) > lines) {
        wrapped[wrapped.size() - 2] += " " + wrapped.back();
        wrapped.pop_back();
      }
      for (int line = 0; line < static_cast<int>(wrapped.size()); ++line) {
        canvas.text(row + line, column, inner, wrapped[static_cast<std::size_t>(line)],
                    Canvas::dim());
      }
    } else if (auto* field = dynamic_cast<platform::TextField*>(view)) {
      const int fieldWidth = std::min(inner, kFieldWidth);
      TextFieldLine::draw(canvas, row, column + (inner - fieldWidth) / 2, fieldWidth, *field,
                          isFocused);
    } else if (auto* button = dynamic_cast<platform::Button*>(view)) {
      canvas.text(row, column, inner, "[ " + button->title() + " ]",
                  (isFocused ? Canvas::reverse() : Canvas::Attributes{}) |
                      (button->isDefault() ? Canvas::bold() : Canvas::Attributes{}),
                  Canvas::Align::center);
    } else if (auto* table = dynamic_cast<platform::TableView*>(view)) {
      tables_.at(table)->draw(canvas, row, 0, tableLines, width, isFocused);
      lines = tableLines;
    }
    row += lines + gap;
  }
}

}  // namespace vantory::terminal
