#include "ListReads.h"

namespace vantory {

bool ListReads::ended() {
  if (--running_ > 0 || !wanted_) {
    return false;
  }
  wanted_ = false;
  keepUnchanged_ = true;
  return true;
}

bool ListReads::changeArrived() {
  if (running_ > 0) {
    wanted_ = true;
    return false;
  }
  keepUnchanged_ = true;
  return true;
}

bool ListReads::takeKeepUnchanged() {
  const bool keep = keepUnchanged_;
  keepUnchanged_ = false;
  return keep;
}

}  // namespace vantory
