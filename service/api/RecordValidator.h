#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vantory::service {

// Reads the values of a request record, checking each; the first value that
// fails leaves a sentence for the client in error(), and later reads are
// skipped. No text value may hold NUL or another control character but tab
// and newline.
class RecordValidator {
 public:
  static constexpr std::size_t kMaxNameLength = 200;
  static constexpr std::size_t kMaxDescriptionLength = 2000;
  static constexpr std::int64_t kMaxQuantity = 1'000'000;

  explicit RecordValidator(const nlohmann::json& record) : record_(record) {}

  // Messages call a value by `label`, what the person typed it under
  // ("Store Name"), when given; by its key otherwise.

  // Text that is not blank (not only spaces), at most 200 characters.
  std::string name(const char* key, const char* label = nullptr);
  // Any text, possibly empty, at most maxLength characters.
  std::string text(const char* key, std::size_t maxLength, const char* label = nullptr);
  // A decimal number >= 0 such as 19.99, kept as written ("1,20" as "1.20").
  std::string price(const char* key);
  // A whole number from 1 to 1,000,000.
  std::int64_t quantity(const char* key);
  // The id of a record (digits).
  std::int64_t id(const char* key);

  const std::optional<std::string>& error() const { return error_; }

  // Digits only, fitting in 63 bits.
  static std::optional<std::int64_t> parseId(std::string_view text);

 private:
  const std::string* string(const char* key, const char* label = nullptr);
  void fail(std::string message);

  const nlohmann::json& record_;
  std::optional<std::string> error_;
};

}  // namespace vantory::service
