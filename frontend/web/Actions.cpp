#include "Actions.h"

#include <emscripten/bind.h>

#include <cstdio>
#include <map>

#include "frontend/web/Dom.h"

namespace vantory::web {

namespace {

std::map<int, Actions::Entry>& entries() {
  static std::map<int, Actions::Entry> registered;
  return registered;
}

// What a person did runs like a tap on the main queue's thread; whatever it
// throws is reported, and the page goes on.
template <typename Call>
void run(int id, Call call) {
  const auto found = entries().find(id);
  if (found == entries().end()) {
    return;
  }
  const Actions::Entry entry = found->second;  // the action may remove itself
  try {
    call(entry);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantory: an action failed: %s\n", error.what());
  }
}

}  // namespace

int Actions::add(Entry entry) {
  static int next = 1;
  entries().emplace(next, std::move(entry));
  return next++;
}

void Actions::remove(int id) { entries().erase(id); }

void Actions::tap(int id) {
  run(id, [](const Entry& entry) {
    if (entry.tap) {
      entry.tap();
    }
  });
}

void Actions::type(int id, const std::string& text) {
  run(id, [&text](const Entry& entry) {
    if (entry.type) {
      entry.type(text);
    }
  });
}

void Actions::pressReturn(int id) {
  run(id, [](const Entry& entry) {
    if (entry.pressReturn) {
      entry.pressReturn();
    }
  });
}

void Actions::focus(int id) {
  run(id, [](const Entry& entry) {
    if (entry.focus) {
      entry.focus();
    }
  });
}

int ActionIds::add(Actions::Entry entry) {
  const int id = Actions::add(std::move(entry));
  ids_.push_back(id);
  return id;
}

emscripten::val ActionIds::button(const std::string& className, std::function<void()> tap) {
  emscripten::val element = Dom::create("button", className);
  element.set("type", std::string("button"));
  element.call<void>("setAttribute", std::string("data-tap"),
                     std::to_string(add({std::move(tap), {}, {}, {}})));
  return element;
}

void ActionIds::clear() {
  for (const int id : ids_) {
    Actions::remove(id);
  }
  ids_.clear();
}

}  // namespace vantory::web

EMSCRIPTEN_BINDINGS(vantory_actions) {
  emscripten::function("vantoryTap", &vantory::web::Actions::tap);
  emscripten::function("vantoryType", &vantory::web::Actions::type);
  emscripten::function("vantoryReturn", &vantory::web::Actions::pressReturn);
  emscripten::function("vantoryFocus", &vantory::web::Actions::focus);
}
