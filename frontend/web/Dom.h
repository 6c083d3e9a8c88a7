#pragma once

#include <emscripten/val.h>

#include <optional>
#include <string>

#include "platform/toolkit/Color.h"
#include "platform/toolkit/Font.h"
#include "platform/toolkit/View.h"

namespace vantory::web {

// The few things every part of the page does to the DOM.
class Dom {
 public:
  Dom() = delete;

  // A new element, with a class when one is given.
  static emscripten::val create(const std::string& tag, const std::string& className = {});
  static emscripten::val byId(const std::string& id);
  static void setText(emscripten::val element, const std::optional<std::string>& text);
  // Empties the element.
  static void clear(const emscripten::val& element);
  static void setHidden(emscripten::val element, bool hidden);
  static void setStyle(const emscripten::val& element, const std::string& property,
                       const std::string& value);

  // "rgba(153, 102, 51, 1)"; a pattern colour is its image tiled.
  static std::string color(const platform::Color& color);
  static std::string background(const platform::Color& color);
  // A class that gives text the colour: inline style attributes are not
  // allowed by the page's Content-Security-Policy, rules made in script are.
  static std::string colorClass(const platform::Color& color);
  static void applyFont(const emscripten::val& element, const platform::Font& font);
  static std::string alignment(platform::TextAlignment alignment);

  // Calls the module's function bound under `name` as soon as the running
  // turn of the event loop ends: before any other turn or frame, never inside
  // the caller.
  static void callAtEndOfTurn(const char* name);
};

}  // namespace vantory::web
