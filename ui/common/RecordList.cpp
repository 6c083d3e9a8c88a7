#include "RecordList.h"

#include <unordered_map>

#include "platform/JsonSerialization.h"

namespace vantory {

std::optional<ListReply> ListReply::read(std::string_view body, std::string_view listKey,
                                         std::string* error) {
  std::optional<platform::JsonCompactReader::Result> read =
      platform::JsonCompactReader::read(body, listKey, error);
  if (!read) {
    return std::nullopt;
  }
  ListReply reply;
  reply.isObject = read->isObject;
  reply.text = std::make_shared<const std::string>(std::move(read->text));
  if (read->elements) {
    reply.list = RecordList(reply.text, std::move(*read->elements));
  }
  return reply;
}

ListReply ListReply::of(const std::optional<nlohmann::json>& value, std::string_view listKey) {
  // Read again from its text, so that it is kept as a fetched reply is.
  std::optional<ListReply> reply;
  if (value && value->is_object()) {
    reply = read(platform::JsonSerialization::dataWithJSONObject(*value), listKey);
  }
  return reply ? std::move(*reply)
               : ListReply{std::make_shared<const std::string>("null"), false, std::nullopt};
}

std::string_view RecordList::json(std::size_t index) const {
  if (index >= records_.size()) {
    return {};
  }
  return std::string_view(*text_).substr(records_[index].offset, records_[index].length);
}

nlohmann::json RecordList::record(std::size_t index) const {
  std::optional<nlohmann::json> value =
      platform::JsonSerialization::jsonObjectWithData(json(index));
  return value ? std::move(*value) : nlohmann::json();
}

std::optional<std::string> RecordList::text(std::size_t index, std::string_view key) const {
  return platform::JsonCompactReader::textMember(json(index), key);
}

RecordList RecordList::groupedBy(std::string_view key) const {
  std::vector<std::vector<Span>> groups;
  std::unordered_map<std::string, std::size_t> groupOfText;
  for (std::size_t index = 0; index < records_.size(); ++index) {
    std::optional<std::string> text = this->text(index, key);
    if (!text) {
      continue;
    }
    const auto [found, isNew] = groupOfText.try_emplace(std::move(*text), groups.size());
    if (isNew) {
      groups.emplace_back();
    }
    groups[found->second].push_back(records_[index]);
  }
  RecordList grouped(text_, {});
  for (const auto& group : groups) {
    grouped.records_.insert(grouped.records_.end(), group.begin(), group.end());
    grouped.groupEnds_.push_back(grouped.records_.size());
  }
  return grouped;
}

std::size_t RecordList::groupSize(std::size_t group) const {
  if (group >= groupEnds_.size()) {
    return 0;
  }
  return groupEnds_[group] - (group == 0 ? 0 : groupEnds_[group - 1]);
}

std::optional<std::size_t> RecordList::indexInGroup(std::size_t group, std::size_t row) const {
  if (row >= groupSize(group)) {
    return std::nullopt;
  }
  return (group == 0 ? 0 : groupEnds_[group - 1]) + row;
}

bool RecordList::operator==(const RecordList& other) const {
  if (size() != other.size() || groupEnds_ != other.groupEnds_) {
    return false;
  }
  for (std::size_t index = 0; index < size(); ++index) {
    if (json(index) != other.json(index)) {
      return false;
    }
  }
  return true;
}

}  // namespace vantory
