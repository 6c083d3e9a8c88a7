#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Reads a stream of Server-Sent Events as its bytes arrive, in parts cut
// anywhere: lines end in CR LF, LF or CR; "data" lines add up, "event"
// names the type, "id" sets the last event id (also for events without
// data), "retry" the reconnection delay; comments and unknown fields are
// skipped. A line longer than the limit ends the stream as broken.
class EventStreamParser {
 public:
  struct Event {
    std::string type = "message";
    std::string data;
    std::string lastEventId;
  };
  using Handler = std::function<void(const Event& event)>;

  explicit EventStreamParser(Handler handler, std::size_t longestLine = std::size_t{64} * 1024)
      : handler_(std::move(handler)), longestLine_(longestLine) {}

  // False once the stream is broken (a line too long); nothing more is read.
  bool feed(std::string_view bytes);

  // The id a reconnection sends, as the last event set it.
  const std::string& lastEventId() const { return lastEventId_; }
  // The reconnection delay the stream asked for, in milliseconds, if any.
  std::optional<long> retry() const { return retry_; }

 private:
  void line(std::string_view text);
  void dispatch();

  Handler handler_;
  std::size_t longestLine_;
  std::string partial_;
  bool afterCarriageReturn_ = false;  // a LF right after it ends no second line
  bool broken_ = false;
  std::string type_;
  std::string data_;
  bool hasData_ = false;
  std::string lastEventId_;
  std::optional<long> retry_;
};

}  // namespace platform
