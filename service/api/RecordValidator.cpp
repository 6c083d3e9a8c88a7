#include "RecordValidator.h"

#include <charconv>

#include "Utf8.h"

namespace vantory::service {

namespace {
std::string quoted(const char* key) { return std::string("\"") + key + "\""; }
}  // namespace

void RecordValidator::fail(std::string message) {
  if (!error_) {
    error_ = std::move(message);
  }
}

const std::string* RecordValidator::string(const char* key) {
  if (error_) {
    return nullptr;
  }
  const auto found = record_.find(key);
  if (found == record_.end() || !found->is_string()) {
    fail("The record needs " + quoted(key) + " as a text value.");
    return nullptr;
  }
  return found->get_ptr<const std::string*>();
}

std::string RecordValidator::name(const char* key) {
  const std::string* value = string(key);
  if (value == nullptr) {
    return {};
  }
  if (value->find_first_not_of(' ') == std::string::npos) {
    fail(quoted(key) + " must not be blank.");
    return {};
  }
  if (characterCount(*value) > kMaxNameLength) {
    fail(quoted(key) + " is longer than " + std::to_string(kMaxNameLength) +
         " characters; shorten it.");
    return {};
  }
  return *value;
}

std::string RecordValidator::text(const char* key, std::size_t maxLength) {
  const std::string* value = string(key);
  if (value == nullptr) {
    return {};
  }
  if (characterCount(*value) > maxLength) {
    fail(quoted(key) + " is longer than " + std::to_string(maxLength) + " characters; shorten it.");
    return {};
  }
  return *value;
}

std::string RecordValidator::price(const char* key) {
  const std::string* value = string(key);
  if (value == nullptr) {
    return {};
  }
  // Plain decimal notation: digits with at most one point, and a digit somewhere.
  const std::string& text = *value;
  const std::size_t point = text.find('.');
  const bool digitsOnly =
      text.find_first_not_of("0123456789.") == std::string::npos &&
      (point == std::string::npos || text.find('.', point + 1) == std::string::npos) &&
      text.find_first_of("0123456789") != std::string::npos && text.size() <= 20;
  if (!digitsOnly) {
    fail(quoted(key) + " must be a price of 0 or more written with digits, such as 19.99.");
    return {};
  }
  return text;
}

std::int64_t RecordValidator::quantity(const char* key) {
  const std::string* value = string(key);
  if (value == nullptr) {
    return 0;
  }
  const auto number = parseId(*value);
  if (!number || *number < 1 || *number > kMaxQuantity) {
    fail(quoted(key) + " must be a whole number from 1 to " + std::to_string(kMaxQuantity) + ".");
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

bool RecordValidator::isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  const auto at = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    const unsigned char lead = at(i);
    std::size_t length = 0;
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
    } else {
      return false;
    }
    if (i + length > text.size()) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) {
        return false;
      }
    }
    if ((lead == 0xE0 && at(i + 1) < 0xA0) || (lead == 0xED && at(i + 1) >= 0xA0) ||
        (lead == 0xF0 && at(i + 1) < 0x90) || (lead == 0xF4 && at(i + 1) >= 0x90)) {
      return false;  // overlong forms, surrogates, beyond U+10FFFF
    }
    i += length;
  }
  return true;
}

}  // namespace vantory::service
