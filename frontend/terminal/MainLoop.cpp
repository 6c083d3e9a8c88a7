#include "MainLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/DispatchQueue.h"

namespace vantory::terminal {

MainLoop::MainLoop() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  platform::DispatchQueue::main().setWakeHandler([fd = wake_] {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
  });
}

MainLoop::~MainLoop() {
  platform::DispatchQueue::main().setWakeHandler({});
  ::close(wake_);
}

void MainLoop::run(TerminalRenderer& renderer) {
  while (!renderer.finished()) {
    platform::DispatchQueue::main().drain();
    renderer.drawIfNeeded();
    pollfd waiting[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_, POLLIN, 0}};
    // A resize arrives as a signal, which ends the wait too.
    ::poll(waiting, 2, renderer.animating() ? 120 : 1000);
    if ((waiting[1].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t read = ::read(wake_, &count, sizeof count);
    }
    wint_t code = 0;
    int kind = 0;
    while ((kind = get_wch(&code)) != ERR) {
      renderer.handle({kind == KEY_CODE_YES, code});
      if (renderer.finished()) {
        return;
      }
    }
  }
}

}  // namespace vantory::terminal
