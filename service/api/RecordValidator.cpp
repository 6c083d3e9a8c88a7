#include "RecordValidator.h"

#include <charconv>

#include "Utf8.h"

namespace vantory::service {

namespace {

std::string quoted(const char* key) { return std::string("\"") + key + "\""; }

// What a message calls a value: the label a person typed it under, else
// its key.
std::string called(const char* key, const char* label) {
  return label != nullptr ? std::string(label) : quoted(key);
}

// 1000000 as "1,000,000".
std::string withThousands(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

}  // namespace

void RecordValidator::fail(std::string message) {
  if (!error_) {
    error_ = std::move(message);
  }
}

const std::string* RecordValidator::string(const char* key, const char* label) {
  if (error_) {
    return nullptr;
  }
  const auto found = record_.find(key);
  if (found == record_.end() || !found->is_string()) {
    fail("The record needs " + quoted(key) + " as a text value.");
    return nullptr;
  }
  const std::string* value = found->get_ptr<const std::string*>();
  if (Utf8::hasControlCharacter(*value)) {
    fail(called(key, label) +
         " holds a control character (such as NUL); only tab and line breaks may "
         "appear among the letters.");
    return nullptr;
  }
  return value;
}

std::string RecordValidator::name(const char* key, const char* label) {
  const std::string* value = string(key, label);
  if (value == nullptr) {
    return {};
  }
  if (value->find_first_not_of(' ') == std::string::npos) {
    fail(called(key, label) + " can't be blank.");
    return {};
  }
  if (Utf8::characterCount(*value) > kMaxNameLength) {
    fail(called(key, label) + " is longer than " + withThousands(kMaxNameLength) +
         " characters; shorten it.");
    return {};
  }
  return *value;
}

std::string RecordValidator::text(const char* key, std::size_t maxLength, const char* label) {
  const std::string* value = string(key, label);
  if (value == nullptr) {
    return {};
  }
  if (Utf8::characterCount(*value) > maxLength) {
    fail(called(key, label) + " is longer than " + withThousands(maxLength) +
         " characters; shorten it.");
    return {};
  }
  return *value;
}

std::string RecordValidator::price(const char* key) {
  const std::string* value = string(key, "Price");
  if (value == nullptr) {
    return {};
  }
  // Plain decimal notation: digits with at most one point, and a digit
  // somewhere. A single decimal comma, as many locales write prices ("1,20"),
  // is taken for the point.
  std::string text = *value;
  if (const std::size_t comma = text.find(','); comma != std::string::npos &&
                                                text.find(',', comma + 1) == std::string::npos &&
                                                text.find('.') == std::string::npos) {
    text[comma] = '.';
  }
  const std::size_t point = text.find('.');
  const bool digitsOnly =
      text.find_first_not_of("0123456789.") == std::string::npos &&
      (point == std::string::npos || text.find('.', point + 1) == std::string::npos) &&
      text.find_first_of("0123456789") != std::string::npos && text.size() <= 20;
  if (!digitsOnly) {
    fail("Price must be a number of 0 or more written with digits, such as 19.99.");
    return {};
  }
  return text;
}

std::int64_t RecordValidator::quantity(const char* key) {
  const std::string* value = string(key, "Quantity");
  if (value == nullptr) {
    return 0;
  }
  const auto number = parseId(*value);
  if (!number || *number < 1 || *number > kMaxQuantity) {
    fail("Quantity must be a whole number from 1 to " + withThousands(kMaxQuantity) + ".");
    return 0;
  }
  return *number;
}

std::int64_t RecordValidator::id(const char* key) {
  const std::string* value = string(key);
  if (value == nullptr) {
    return 0;
  }
  const auto number = parseId(*value);
  if (!number) {
    fail(quoted(key) + " must be an id made of digits, such as \"12\".");
    return 0;
  }
  return *number;
}

std::optional<std::int64_t> RecordValidator::parseId(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace vantory::service
