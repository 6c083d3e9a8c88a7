#pragma once

#include <optional>
#include <string>

#include "TextAttributes.h"
#include "View.h"

namespace platform {

class TextField;

class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  // Asked when the user presses the return key.
  virtual bool textFieldShouldReturn(TextField& textField) = 0;
};

enum class AutocapitalizationType { none = 0, words = 1, sentences = 2, allCharacters = 3 };
enum class KeyboardAppearance { defaultAppearance = 0, dark = 1, light = 2 };
enum class KeyboardType { defaultType = 0, asciiCapable = 1, numbersAndPunctuation = 2 };
enum class ReturnKeyType { defaultKey = 0, go = 1, search = 6, done = 9 };

// A one-line text entry.
class TextField : public View {
 public:
  explicit TextField(Rect frame = {}) : View(frame) {}

  // What the user typed; empty for a new field.
  const std::optional<std::string>& text() const { return text_; }
  void setText(std::optional<std::string> text);

  const std::optional<std::string>& placeholder() const { return placeholder_; }
  void setPlaceholder(std::optional<std::string> placeholder);

  // A styled placeholder (its text becomes the placeholder).
  const std::optional<AttributedString>& attributedPlaceholder() const {
    return attributedPlaceholder_;
  }
  void setAttributedPlaceholder(AttributedString placeholder);

  TextAlignment textAlignment() const { return textAlignment_; }
  void setTextAlignment(TextAlignment alignment);
  AutocapitalizationType autocapitalizationType() const { return autocapitalization_; }
  void setAutocapitalizationType(AutocapitalizationType type);
  KeyboardAppearance keyboardAppearance() const { return keyboardAppearance_; }
  void setKeyboardAppearance(KeyboardAppearance appearance);
  KeyboardType keyboardType() const { return keyboardType_; }
  void setKeyboardType(KeyboardType type);
  ReturnKeyType returnKeyType() const { return returnKeyType_; }
  void setReturnKeyType(ReturnKeyType type);

  TextFieldDelegate* delegate() const { return delegate_; }
  void setDelegate(TextFieldDelegate* delegate) { delegate_ = delegate; }

  bool isFirstResponder() const { return firstResponder_; }
  bool becomeFirstResponder();
  bool resignFirstResponder();

  // --- what a user does -------------------------------------------------
  // Focuses the field and replaces its text, as typing does.
  void typeText(const std::string& text);
  // The return key: asks the delegate.
  void pressReturn();

 private:
  std::optional<std::string> text_ = std::string();
  std::optional<std::string> placeholder_;
  std::optional<AttributedString> attributedPlaceholder_;
  TextAlignment textAlignment_ = TextAlignment::left;
  AutocapitalizationType autocapitalization_ = AutocapitalizationType::sentences;
  KeyboardAppearance keyboardAppearance_ = KeyboardAppearance::defaultAppearance;
  KeyboardType keyboardType_ = KeyboardType::defaultType;
  ReturnKeyType returnKeyType_ = ReturnKeyType::defaultKey;
  TextFieldDelegate* delegate_ = nullptr;
  bool firstResponder_ = false;
};

}  // namespace platform
