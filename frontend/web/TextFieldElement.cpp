#include "TextFieldElement.h"

#include "frontend/web/Dom.h"

namespace vantory::web {

namespace {

std::string enterKeyOf(platform::ReturnKeyType type) {
  switch (type) {
    case platform::ReturnKeyType::go:
      return "go";
    case platform::ReturnKeyType::search:
      return "search";
    case platform::ReturnKeyType::done:
      return "done";
    case platform::ReturnKeyType::defaultKey:
      break;
  }
  return "enter";
}

}  // namespace

TextFieldElement::TextFieldElement(std::shared_ptr<platform::TextField> field,
                                   std::function<void()> onReturn)
    : field_(std::move(field)),
      label_(Dom::create("label", "field")),
      name_(Dom::create("span", "name")),
      input_(Dom::create("input")) {
  input_.set("type", std::string("text"));
  input_.set("autocomplete", std::string("off"));
  label_.call<void>("append", name_, input_);
  std::weak_ptr<platform::TextField> weak = field_;
  const int id = actions_.add({{},
                               [weak](const std::string& text) {
                                 if (auto typed = weak.lock()) {
                                   typed->typeText(text);
                                 }
                               },
                               std::move(onReturn),
                               [weak] {
                                 if (auto typed = weak.lock()) {
                                   typed->becomeFirstResponder();
                                 }
                               }});
  input_.call<void>("setAttribute", std::string("data-field"), std::to_string(id));
  update();
}

void TextFieldElement::update() {
  const platform::TextField& field = *field_;
  const std::string placeholder = field.attributedPlaceholder()
                                      ? field.attributedPlaceholder()->string
                                      : field.placeholder().value_or("");
  Dom::setText(name_, placeholder);
  input_.set("placeholder", placeholder);
  const std::string text = field.text().value_or("");
  if (input_["value"].as<std::string>() != text) {
    input_.set("value", text);  // only when the model differs: typing keeps its caret
  }
  Dom::setStyle(input_, "text-align", Dom::alignment(field.textAlignment()));
  input_.set(
      "inputMode",
      std::string(field.keyboardType() == platform::KeyboardType::numbersAndPunctuation ? "decimal"
                                                                                        : "text"));
  input_.call<void>("setAttribute", std::string("enterkeyhint"), enterKeyOf(field.returnKeyType()));
  static const char* const capitals[] = {"off", "words", "sentences", "characters"};
  input_.call<void>("setAttribute", std::string("autocapitalize"),
                    std::string(capitals[static_cast<int>(field.autocapitalizationType()) & 3]));
  // The keyboard closes when the screen resigns the field.
  if (firstResponder_ && !field.isFirstResponder()) {
    input_.call<void>("blur");
  }
  firstResponder_ = field.isFirstResponder();
}

}  // namespace vantory::web
