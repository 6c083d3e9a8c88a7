#pragma once

namespace vantory {

// When a list screen reads its list: one read (or send, whose refresh is a
// read) at a time. A change heard of while one is under way is read once
// they are all done, not beside them; a read a change asked for leaves an
// unchanged list as it is drawn.
class ListReads {
 public:
  void began() { ++running_; }
  // Whether the read that ended leaves one more to make now.
  bool ended();
  // Whether a change that concerns the screen is to be read now (otherwise
  // it is read when the reads under way have ended).
  bool changeArrived();
  // Whether the list just read may be left as drawn if it is unchanged;
  // true once for each read a change asked for.
  bool takeKeepUnchanged();

 private:
  int running_ = 0;
  bool wanted_ = false;
  bool keepUnchanged_ = false;
};

}  // namespace vantory
