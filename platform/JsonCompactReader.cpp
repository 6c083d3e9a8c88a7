#include "JsonCompactReader.h"

#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <numeric>

#include "JsonSerialization.h"
#include "JsonText.h"

namespace platform {

namespace {

using Span = JsonCompactReader::Span;

// Writes each value as it is read. Objects are written in place; one whose
// keys do not arrive in order (or repeat) is rewritten in place when it
// closes, so nothing is copied for the usual reply, and the buffers of each
// level are kept from one record to the next.
class CompactWriter : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CompactWriter> {
 public:
  CompactWriter(std::string_view listKey, std::size_t sizeHint)
      : listKey_(listKey), sizeHint_(sizeHint) {}

  bool Null() { return scalar("null"); }
  bool Bool(bool value) { return scalar(value ? "true" : "false"); }
  bool Int(int value) { return integer(value); }
  bool Uint(unsigned value) { return integer(value); }
  bool Int64(std::int64_t value) { return integer(value); }
  bool Uint64(std::uint64_t value) { return integer(value); }
  bool Double(double value) {
    beginValue();
    JsonText::appendDouble(out_, value);
    endValue();
    return true;
  }
  bool String(const char* text, rapidjson::SizeType length, bool /*copy*/) {
    beginValue();
    JsonText::appendString(out_, {text, length});
    endValue();
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool /*copy*/);
  bool StartObject() { return open(true); }
  bool EndObject(rapidjson::SizeType /*members*/) {
    closeObject();
    endValue();
    return true;
  }
  bool StartArray() { return open(false); }
  bool EndArray(rapidjson::SizeType /*elements*/) {
    out_ += ']';
    --depth_;
    endValue();
    return true;
  }

  bool tooDeep() const { return tooDeep_; }
  JsonCompactReader::Result result() {
    JsonCompactReader::Result result;
    result.isObject = !out_.empty() && out_.front() == '{';
    if (hasList_) {
      result.elements = std::move(elements_);
    }
    result.text = std::move(out_);
    return result;
  }

 private:
  struct Member {
    std::size_t keyOffset;  // in the level's keys
    std::size_t keyLength;
    std::size_t begin;  // of "key":value in the text
    std::size_t end;
  };
  struct Level {
    bool object = false;
    bool list = false;  // the array under the list key of the top-level object
    std::size_t start = 0;
    std::size_t count = 0;
    std::vector<Member> members;
    std::string keys;  // as read, unescaped: they are ordered as bytes

    std::string_view keyOf(std::size_t member) const {
      return std::string_view(keys).substr(members[member].keyOffset, members[member].keyLength);
    }
  };

  bool scalar(std::string_view text) {
    beginValue();
    out_ += text;
    endValue();
    return true;
  }
  template <typename Integer>
  bool integer(Integer value) {
    beginValue();
    char digits[24];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), value);
    out_.append(digits, written.ptr);
    endValue();
    return true;
  }
  bool open(bool object);
  void beginValue();
  void endValue();
  void closeObject();

  std::string_view listKey_;
  std::size_t sizeHint_;  // the text is about as long as what it is read from
  std::string out_;
  std::vector<Level> levels_;  // levels_[0, depth_) are open; the rest are kept for reuse
  std::size_t depth_ = 0;
  bool nextIsList_ = false;
  bool hasList_ = false;
  std::size_t listMember_ = 0;
  std::vector<Span> elements_;
  std::string scratch_;
  std::vector<std::size_t> order_;
  bool tooDeep_ = false;
};

bool CompactWriter::Key(const char* text, rapidjson::SizeType length, bool /*copy*/) {
  Level& level = levels_[depth_ - 1];
  if (level.count++ > 0) {
    out_ += ',';
  }
  const std::string_view key(text, length);
  level.members.push_back({level.keys.size(), key.size(), out_.size(), 0});
  level.keys += key;
  JsonText::appendString(out_, key);
  out_ += ':';
  if (depth_ == 1) {
    // A repeated key keeps its last value: so does the list.
    nextIsList_ = key == listKey_;
    if (nextIsList_) {
      listMember_ = level.members.size() - 1;
      hasList_ = false;
      elements_.clear();
    }
  }
  return true;
}

bool CompactWriter::open(bool object) {
  if (depth_ >= JsonSerialization::kMaxDepth) {
    tooDeep_ = true;
    return false;
  }
  if (depth_ == 0) {
    out_.reserve(sizeHint_);  // here, where a failure is caught as the reader's
  }
  beginValue();
  const bool list = !object && depth_ == 1 && nextIsList_;
  hasList_ = hasList_ || list;
  if (levels_.size() == depth_) {
    levels_.emplace_back();
  }
  Level& level = levels_[depth_++];
  level.object = object;
  level.list = list;
  level.start = out_.size();
  level.count = 0;
  level.members.clear();
  level.keys.clear();
  out_ += object ? '{' : '[';
  return true;
}

void CompactWriter::beginValue() {
  if (depth_ == 0) {
    return;
  }
  Level& level = levels_[depth_ - 1];
  if (level.object) {
    return;  // its key placed the comma
  }
  if (level.count++ > 0) {
    out_ += ',';
  }
  if (level.list) {
    elements_.push_back({out_.size(), 0});
  }
}

void CompactWriter::endValue() {
  if (depth_ == 0) {
    return;
  }
  Level& level = levels_[depth_ - 1];
  if (level.object) {
    level.members.back().end = out_.size();
  } else if (level.list) {
    elements_.back().length = out_.size() - elements_.back().offset;
  }
}

void CompactWriter::closeObject() {
  Level& level = levels_[depth_ - 1];
  const std::size_t count = level.members.size();
  bool ordered = true;
  for (std::size_t member = 1; member < count && ordered; ++member) {
    ordered = level.keyOf(member - 1) < level.keyOf(member);
  }
  if (!ordered) {
    order_.resize(count);
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::stable_sort(order_.begin(), order_.end(), [&level](std::size_t a, std::size_t b) {
      return level.keyOf(a) < level.keyOf(b);
    });
    const std::size_t base = level.start;
    scratch_.assign(out_, base, std::string::npos);
    out_.resize(base + 1);  // the brace stays
    bool first = true;
    for (std::size_t at = 0; at < count; ++at) {
      const std::size_t member = order_[at];
      if (at + 1 < count && level.keyOf(order_[at + 1]) == level.keyOf(member)) {
        continue;  // a later value under the same key follows: it wins
      }
      out_ += first ? "" : ",";
      first = false;
      const Member& written = level.members[member];
      if (depth_ == 1 && hasList_ && member == listMember_) {
        // The list moves with its member.
        const std::size_t moved = out_.size();
        for (Span& element : elements_) {
          element.offset = element.offset - written.begin + moved;
        }
      }
      out_.append(scratch_, written.begin - base, written.end - written.begin);
    }
  }
  out_ += '}';
  --depth_;
}

// Stops at the member asked for, keeping its text.
class MemberFinder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, MemberFinder> {
 public:
  explicit MemberFinder(std::string_view key) : key_(key) {}

  bool Default() { return !atKey(); }
  bool String(const char* text, rapidjson::SizeType length, bool /*copy*/) {
    if (atKey()) {
      found_.emplace(text, length);
      return false;
    }
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool /*copy*/) {
    atKey_ = depth_ == 1 && std::string_view(text, length) == key_;
    return true;
  }
  bool StartObject() { return enter(); }
  bool StartArray() { return enter(); }
  bool EndObject(rapidjson::SizeType /*members*/) { return leave(); }
  bool EndArray(rapidjson::SizeType /*elements*/) { return leave(); }

  std::optional<std::string>& found() { return found_; }

 private:
  bool atKey() const { return depth_ == 1 && atKey_; }
  bool enter() {
    if (atKey()) {
      return false;  // the value there is no text
    }
    ++depth_;
    return true;
  }
  bool leave() {
    --depth_;
    return true;
  }

  std::string_view key_;
  std::size_t depth_ = 0;
  bool atKey_ = false;
  std::optional<std::string> found_;
};

}  // namespace

std::optional<JsonCompactReader::Result> JsonCompactReader::read(std::string_view data,
                                                                 std::string_view listKey,
                                                                 std::string* error) {
  CompactWriter writer(listKey, data.size());
  if (!JsonText::read(data, writer, error)) {
    return std::nullopt;
  }
  return writer.result();
}

std::optional<std::string> JsonCompactReader::textMember(std::string_view object,
                                                         std::string_view key) {
  MemberFinder finder(key);
  rapidjson::Reader reader;
  rapidjson::MemoryStream bytes(object.data(), object.size());
  reader.Parse<JsonText::kParseFlags>(bytes, finder);  // stops once found
  return std::move(finder.found());
}

}  // namespace platform
