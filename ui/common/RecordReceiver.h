#pragma once

#include <string>

namespace vantory {

// A screen opened on one record, handed over as JSON text by its opener
// (storeInfo or itemInfo).
class RecordReceiver {
 public:
  virtual ~RecordReceiver() = default;
  virtual void receiveRecordInfo(const std::string& recordInfo) = 0;
};

}  // namespace vantory
