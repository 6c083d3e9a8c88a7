#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/ViewController.h"

namespace vantory {

// One text field of a prompt.
struct PromptField {
  PromptField(std::string placeholderText, std::optional<std::string> initial = std::nullopt,
              bool numbers = false)
      : placeholder(std::move(placeholderText)),
        initialText(std::move(initial)),
        numbersAndPunctuation(numbers) {}

  std::string placeholder;
  std::optional<std::string> initialText;
  bool numbersAndPunctuation = false;  // keyboard for prices and quantities
};

// The prompts of every screen: an alert with text fields, a confirming
// button and "Cancel". Fields are centred, capitalise each word, use the
// dark keyboard and a "done" return key.
class Prompt {
 public:
  // Texts of the fields in order; absent for a field without text.
  using Confirm = std::function<void(const std::vector<std::optional<std::string>>& texts)>;

  Prompt() = delete;

  // A button between the confirming one and "Cancel" ("Withdraw").
  struct OtherAction {
    std::string title;
    std::function<void()> handler;
  };

  static void show(platform::ViewController& presenter, const std::string& title,
                   const std::vector<PromptField>& fields, const std::string& confirmTitle,
                   Confirm onConfirm, std::optional<OtherAction> other = std::nullopt);
};

}  // namespace vantory
