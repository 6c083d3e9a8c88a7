// vantory-web: the app in a phone's browser. The page (index.html) loads this
// module; the service that served the page is the one the app uses.

#include <emscripten/bind.h>
#include <emscripten/em_js.h>
#include <emscripten/val.h>

#include <iostream>

#include "app/AppStart.h"
#include "frontend/web/Dom.h"
#include "frontend/web/WebRenderer.h"
#include "platform/Console.h"
#include "platform/DispatchQueue.h"

// Console lines wait, in order, for a moment the page has nothing else to
// do, long enough to print them: a long reply's line (with a debugger
// listening, copied over whole at about 10 KB a millisecond) then never
// shares a frame with the rows it brought. Safari has no idle callbacks;
// there a line waits for the next turn.
// clang-format off
EM_JS(void, printWhenIdle, (const char* text, int length), {
  const waiting = Module.vantoryConsoleLines || (Module.vantoryConsoleLines = []);
  waiting.push(HEAPU8.slice(text, text + length));  // read as text when printed
  if (waiting.length > 1) return;  // already asked for
  const later = self.requestIdleCallback
      ? (print) => requestIdleCallback(print, { timeout: 10000 })
      : (print) => setTimeout(print, 0);
  const print = (deadline) => {
    const fits = !deadline || deadline.didTimeout ||
                 deadline.timeRemaining() >= Math.min(40, waiting[0].length / 10000);
    if (fits) console.log(new TextDecoder().decode(waiting.shift()));
    if (waiting.length > 0) later(print);
  };
  later(print);
});
// clang-format on

namespace {

bool& drainScheduled() {
  static bool scheduled = false;
  return scheduled;
}

void drainMainQueue() {
  drainScheduled() = false;
  platform::DispatchQueue::main().drain();
}

// Work queued on the main queue runs as soon as the running turn is done:
// never inside the call that queued it, and a reply is drawn in the turn it
// arrived in, not after whatever else the page has queued meanwhile.
void scheduleDrain() {
  if (!drainScheduled()) {
    drainScheduled() = true;
    vantory::web::Dom::callAtEndOfTurn("vantoryDrainMain");
  }
}

}  // namespace

EMSCRIPTEN_BINDINGS(vantory_main_queue) {
  emscripten::function("vantoryDrainMain", &drainMainQueue);
}

int main() {
  platform::DispatchQueue::main().setWakeHandler(scheduleDrain);
  // The console is the browser's, a line at a time (the C library's standard
  // output would hand it over a character at a time), each in a turn of its
  // own and in order: a long reply's print does not lengthen the turn that
  // received it.
  platform::Console::setSink(
      [](std::string_view line) { printWhenIdle(line.data(), static_cast<int>(line.size())); });
  vantory::AppStart::Options options;
  options.service = emscripten::val::global("location")["origin"].as<std::string>();
  options.resources = "/resources";
  static const auto delegate = std::make_shared<vantory::AppDelegate>();
  try {
    vantory::AppStart::start(delegate, options);
  } catch (const std::exception& error) {
    std::cerr << "vantory-web: " << error.what() << "\n";
    vantory::web::Dom::setText(vantory::web::Dom::byId("screen"),
                               std::string("Vantory cannot start: ") + error.what());
    return 1;
  }
  static vantory::web::WebRenderer renderer(delegate->window());
  scheduleDrain();
  return 0;
}
