// vantory-web: the app in a phone's browser. The page (index.html) loads this
// module; the service that served the page is the one the app uses.

#include <emscripten/emscripten.h>
#include <emscripten/val.h>

#include <iostream>

#include "app/AppStart.h"
#include "frontend/web/Dom.h"
#include "frontend/web/WebRenderer.h"
#include "platform/Console.h"
#include "platform/DispatchQueue.h"

namespace {

bool& drainScheduled() {
  static bool scheduled = false;
  return scheduled;
}

void drainMainQueue(void* /*unused*/) {
  drainScheduled() = false;
  platform::DispatchQueue::main().drain();
}

// Work queued on the main queue runs in the next turn of the event loop: the
// page never waits on it.
void scheduleDrain() {
  if (!drainScheduled()) {
    drainScheduled() = true;
    emscripten_async_call(drainMainQueue, nullptr, 0);
  }
}

}  // namespace

int main() {
  platform::DispatchQueue::main().setWakeHandler(scheduleDrain);
  // The console is the browser's, a line at a time (the C library's standard
  // output would hand it over a character at a time), each in a turn of its
  // own and in order: a long reply's print (with a debugger listening, handed
  // over whole) does not lengthen the turn that received it.
  platform::Console::setSink([](std::string_view line) {
    emscripten::val::global("setTimeout")(emscripten::val::global("console")["log"], 0,
                                          emscripten::val(std::string(line)));
  });
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
