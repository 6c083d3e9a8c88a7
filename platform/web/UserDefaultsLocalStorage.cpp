// Where UserDefaults keep their values in a browser: one JSON text in the
// page's localStorage, under the name the file would have had, written
// through on every change.
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>
#include <emscripten/val.h>

#include <iostream>

#include "platform/UserDefaults.h"

// clang-format off
EM_JS(int, storeText, (const char* key, const char* text), {
  try {
    localStorage.setItem(UTF8ToString(key), UTF8ToString(text));
    return 1;
  } catch (error) {
    return 0;
  }
});
// clang-format on

namespace platform {

namespace {

emscripten::val localStorage() { return emscripten::val::global("localStorage"); }

// A full or refused storage (private browsing) throws in the page.

}  // namespace

std::filesystem::path UserDefaults::defaultPath() { return "vantory/defaults.json"; }

void UserDefaults::load() {
  const emscripten::val stored = localStorage().call<emscripten::val>("getItem", file_.string());
  if (!stored.isString()) {
    return;  // nothing stored yet
  }
  nlohmann::json parsed = nlohmann::json::parse(stored.as<std::string>(), nullptr, false);
  if (!parsed.is_discarded() && parsed.is_object()) {
    values_ = std::move(parsed);
    return;
  }
  // Kept aside for whoever wants to look at it; empty settings from here on.
  localStorage().call<void>("setItem", file_.string() + ".corrupt", stored);
  localStorage().call<void>("removeItem", file_.string());
  std::cerr << "vantory: the stored settings could not be read; they were kept as "
            << file_.string() << ".corrupt and empty settings are used\n";
}

void UserDefaults::save() const {
  const std::string text = values_.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (storeText(file_.c_str(), text.c_str()) == 0) {
    std::cerr << "vantory: could not save settings in this browser's storage\n";
  }
}

}  // namespace platform
