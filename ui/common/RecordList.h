#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/JsonCompactReader.h"

namespace vantory {

// The records of a list as a screen keeps them: pieces of the reply's
// compact JSON text, a few bytes each beyond the text, rather than a JSON
// object per record (100,000 of those took 150 MB). A record is read whole
// only when a row shows it. The records may be kept in groups, a section each.
class RecordList {
 public:
  RecordList() = default;

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  // A record's JSON text.
  std::string_view json(std::size_t index) const;
  // A record read whole (null when there is none at index).
  nlohmann::json record(std::size_t index) const;
  // A record's text under key; nothing when it is not an object or the value is no text.
  std::optional<std::string> text(std::size_t index, std::string_view key) const;

  // The records with text under key, in groups of the same text in the order
  // each text first comes; records without it are left out.
  RecordList groupedBy(std::string_view key) const;
  std::size_t groupCount() const { return groupEnds_.size(); }
  std::size_t groupSize(std::size_t group) const;
  // The index of a record of a group; nothing past its end.
  std::optional<std::size_t> indexInGroup(std::size_t group, std::size_t row) const;

  // The same records (by their text) in the same groups.
  bool operator==(const RecordList& other) const;

 private:
  friend struct ListReply;
  using Span = platform::JsonCompactReader::Span;

  RecordList(std::shared_ptr<const std::string> text, std::vector<Span> records)
      : text_(std::move(text)), records_(std::move(records)) {}

  std::shared_ptr<const std::string> text_;
  std::vector<Span> records_;
  std::vector<std::size_t> groupEnds_;  // one past each group's last record; empty: no groups
};

// A list reply: its compact text (what the console prints of it) and the
// list under its key, when it has one.
struct ListReply {
  std::shared_ptr<const std::string> text;
  bool isObject = false;
  std::optional<RecordList> list;

  // The reply read from a body; nothing, with the reason in *error, when the
  // body is not JSON.
  static std::optional<ListReply> read(std::string_view body, std::string_view listKey,
                                       std::string* error = nullptr);
  // The reply of an already decoded value.
  static ListReply of(const std::optional<nlohmann::json>& value, std::string_view listKey);

  // "null" for a reply that is no object, as for none.
  std::string_view printed() const { return isObject ? std::string_view(*text) : "null"; }
};

}  // namespace vantory
