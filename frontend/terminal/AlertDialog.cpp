#include "AlertDialog.h"

#include "frontend/terminal/TextFieldLine.h"

namespace vantory::terminal {

namespace {

constexpr int kWidest = 64;

}  // namespace

AlertDialog::AlertDialog(std::shared_ptr<platform::AlertController> alert)
    : alert_(std::move(alert)) {
  // Into the first field; without one, onto the preferred button.
  if (alert_->textFields().empty()) {
    const auto preferred = alert_->preferredAction();
    for (std::size_t i = 0; i < alert_->actions().size(); ++i) {
      if (alert_->actions()[i] == preferred) {
        focus_ = i;
      }
    }
  }
}

std::size_t AlertDialog::focusCount() const {
  return alert_->textFields().size() + alert_->actions().size();
}

void AlertDialog::tap(const std::shared_ptr<platform::AlertAction>& action) {
  if (action && alert_->presentingViewController() != nullptr) {
    alert_->tapAction(action);
  }
}

void AlertDialog::handle(const Key& key) {
  const std::size_t fields = alert_->textFields().size();
  if (key.isTab() || key.isFunction(KEY_RIGHT) || key.isFunction(KEY_DOWN)) {
    focus_ = (focus_ + 1) % std::max<std::size_t>(1, focusCount());
  } else if (key.isBackTab() || key.isFunction(KEY_LEFT) || key.isFunction(KEY_UP)) {
    focus_ = (focus_ + focusCount() - 1) % std::max<std::size_t>(1, focusCount());
  } else if (key.isEscape()) {
    tap(alert_->cancelAction());
  } else if (key.isEnter()) {
    tap(focus_ < fields ? alert_->preferredAction() : alert_->actions().at(focus_ - fields));
  } else if (focus_ < fields) {
    TextFieldLine::edit(*alert_->textFields()[focus_], key);
  }
}

void AlertDialog::draw(Canvas& canvas) {
  const int width = std::min(kWidest, canvas.columns() - 4);
  const int inner = width - 4;
  const auto message = Canvas::wrap(alert_->message().value_or(""), inner);
  const int fields = static_cast<int>(alert_->textFields().size());
  const int height = 2 + 1 + (message.empty() ? 0 : static_cast<int>(message.size()) + 1) +
                     (fields > 0 ? fields + 1 : 0) + 1 + 1;
  const int top = std::max(0, (canvas.rows() - height) / 2);
  const int left = std::max(0, (canvas.columns() - width) / 2);
  for (int row = top; row < top + height; ++row) {
    canvas.blank(row, left, width);
  }
  canvas.frame(top, left, height, width, canvas.color(platform::Color::brownColor()));
  int row = top + 1;
  canvas.text(row++, left + 2, inner, alert_->title().value_or(""), Canvas::bold(),
              Canvas::Align::center);
  if (!message.empty()) {
    ++row;
    for (const auto& line : message) {
      canvas.text(row++, left + 2, inner, line, 0, Canvas::Align::center);
    }
  }
  if (fields > 0) {
    ++row;
    for (int i = 0; i < fields; ++i) {
      TextFieldLine::draw(canvas, row++, left + 2, inner,
                          *alert_->textFields()[static_cast<std::size_t>(i)],
                          focus_ == static_cast<std::size_t>(i));
    }
  }
  ++row;
  // The buttons side by side, centred.
  std::string buttons;
  std::vector<std::pair<int, int>> spans;  // start cell and width of each
  for (const auto& action : alert_->actions()) {
    if (!buttons.empty()) {
      buttons += "   ";
    }
    const std::string shown = "[ " + action->title() + " ]";
    spans.emplace_back(Canvas::width(buttons), Canvas::width(shown));
    buttons += shown;
  }
  const int start = left + 2 + std::max(0, (inner - Canvas::width(buttons)) / 2);
  for (std::size_t i = 0; i < alert_->actions().size(); ++i) {
    const bool focused = focus_ == alert_->textFields().size() + i;
    canvas.text(row, start + spans[i].first, spans[i].second,
                "[ " + alert_->actions()[i]->title() + " ]",
                focused ? Canvas::reverse() : Canvas::bold());
  }
  if (focus_ >= alert_->textFields().size()) {
    canvas.hideCursor();
  }
}

}  // namespace vantory::terminal
