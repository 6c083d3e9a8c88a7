#pragma once

#include "frontend/terminal/TerminalRenderer.h"

namespace vantory::terminal {

// The terminal's thread is the main queue's: it waits for a key, for work
// queued on the main queue (which wakes it), or for the indicator's next
// turn, and then runs the work, hands the keys over and draws.
class MainLoop {
 public:
  MainLoop();
  ~MainLoop();
  MainLoop(const MainLoop&) = delete;
  MainLoop& operator=(const MainLoop&) = delete;

  // Until the renderer is finished.
  void run(TerminalRenderer& renderer);

 private:
  int wake_;  // an eventfd the main queue writes to
};

}  // namespace vantory::terminal
