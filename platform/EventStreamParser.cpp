#include "EventStreamParser.h"

#include <algorithm>
#include <charconv>

namespace platform {

bool EventStreamParser::feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (broken_) {
      return false;
    }
    if (c == '\n' && afterCarriageReturn_) {
      afterCarriageReturn_ = false;
      continue;
    }
    afterCarriageReturn_ = c == '\r';
    if (c == '\n' || c == '\r') {
      line(partial_);
      partial_.clear();
      continue;
    }
    if (partial_.size() >= longestLine_) {
      broken_ = true;
      return false;
    }
    partial_ += c;
  }
  return !broken_;
}

void EventStreamParser::line(std::string_view text) {
  if (text.empty()) {
    dispatch();
    return;
  }
  if (text.front() == ':') {
    return;  // a comment, such as a keep-alive
  }
  const std::size_t colon = text.find(':');
  const std::string_view field = text.substr(0, colon);
  std::string_view value = colon == std::string_view::npos ? "" : text.substr(colon + 1);
  if (!value.empty() && value.front() == ' ') {
    value.remove_prefix(1);
  }
  if (field == "data") {
    if (hasData_) {
      data_ += '\n';
    }
    data_.append(value);
    hasData_ = true;
  } else if (field == "event") {
    type_ = value;
  } else if (field == "id") {
    if (value.find('\0') == std::string_view::npos) {
      lastEventId_ = value;
    }
  } else if (field == "retry") {
    long delay = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), delay);
    if (error == std::errc() && end == value.data() + value.size() && !value.empty() &&
        std::all_of(value.begin(), value.end(), [](char d) { return d >= '0' && d <= '9'; })) {
      retry_ = delay;
    }
  }
}

void EventStreamParser::dispatch() {
  if (hasData_) {
    Event event;
    event.type = type_.empty() ? "message" : type_;
    event.data = std::move(data_);
    event.lastEventId = lastEventId_;
    handler_(event);
  }
  type_.clear();
  data_.clear();
  hasData_ = false;
}

}  // namespace platform
