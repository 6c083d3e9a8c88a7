#include "TextField.h"

namespace platform {

void TextField::setText(std::optional<std::string> text) {
  text_ = std::move(text);
  notifyChanged();
}

void TextField::setPlaceholder(std::optional<std::string> placeholder) {
  placeholder_ = std::move(placeholder);
  attributedPlaceholder_.reset();
  notifyChanged();
}

void TextField::setAttributedPlaceholder(AttributedString placeholder) {
  placeholder_ = placeholder.string;
  attributedPlaceholder_ = std::move(placeholder);
  notifyChanged();
}

void TextField::setTextAlignment(TextAlignment alignment) {
  textAlignment_ = alignment;
  notifyChanged();
}

void TextField::setAutocapitalizationType(AutocapitalizationType type) {
  autocapitalization_ = type;
  notifyChanged();
}

void TextField::setKeyboardAppearance(KeyboardAppearance appearance) {
  keyboardAppearance_ = appearance;
  notifyChanged();
}

void TextField::setKeyboardType(KeyboardType type) {
  keyboardType_ = type;
  notifyChanged();
}

void TextField::setReturnKeyType(ReturnKeyType type) {
  returnKeyType_ = type;
  notifyChanged();
}

bool TextField::becomeFirstResponder() {
  firstResponder_ = true;
  notifyChanged();
  return true;
}

bool TextField::resignFirstResponder() {
  const bool was = firstResponder_;
  firstResponder_ = false;
  notifyChanged();
  return was;
}

void TextField::typeText(const std::string& text) {
  firstResponder_ = true;
  setText(text);
}

void TextField::pressReturn() {
  if (delegate_ != nullptr) {
    delegate_->textFieldShouldReturn(*this);
  }
}

}  // namespace platform
