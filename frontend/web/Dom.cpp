#include "Dom.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <map>

// clang-format off
EM_JS(void, queueBoundCall, (const char* name), {
  const bound = UTF8ToString(name);
  queueMicrotask(() => Module[bound]());
});
// clang-format on

namespace vantory::web {

using emscripten::val;

val Dom::create(const std::string& tag, const std::string& className) {
  val element = val::global("document").call<val>("createElement", tag);
  if (!className.empty()) {
    element.set("className", className);
  }
  return element;
}

val Dom::byId(const std::string& id) {
  return val::global("document").call<val>("getElementById", id);
}

void Dom::setText(val element, const std::optional<std::string>& text) {
  const std::string shown = text.value_or("");
  if (element["textContent"].as<std::string>() != shown) {
    element.set("textContent", shown);
  }
}

void Dom::clear(const val& element) { element.call<void>("replaceChildren"); }

void Dom::setHidden(val element, bool hidden) { element.set("hidden", hidden); }

void Dom::setStyle(const val& element, const std::string& property, const std::string& value) {
  element["style"].call<void>("setProperty", property, value);
}

std::string Dom::color(const platform::Color& color) {
  const auto channel = [](double component) {
    return std::to_string(static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 255)));
  };
  return "rgba(" + channel(color.red) + ", " + channel(color.green) + ", " + channel(color.blue) +
         ", " + std::to_string(std::clamp(color.alpha, 0.0, 1.0)) + ")";
}

std::string Dom::background(const platform::Color& color) {
  if (color.patternImage) {
    // The page serves the app's images beside it, under the same names.
    return "url(\"" + color.patternImage->name() + "\") repeat";
  }
  return Dom::color(color);
}

std::string Dom::colorClass(const platform::Color& color) {
  static std::map<std::string, std::string> classes;
  static val sheet = val::null();
  const std::string css = Dom::color(color);
  const auto found = classes.find(css);
  if (found != classes.end()) {
    return found->second;
  }
  if (sheet.isNull()) {
    sheet = val::global("CSSStyleSheet").new_();
    val document = val::global("document");
    val sheets = val::array();
    sheets.call<void>("push", sheet);
    document.set("adoptedStyleSheets", sheets);
  }
  std::string name = "color-" + std::to_string(classes.size());
  // Repeated, so that it outweighs the page's own rules for the element.
  sheet.call<int>("insertRule", "." + name + "." + name + "." + name + " { color: " + css + "; }",
                  sheet["cssRules"]["length"].as<int>());
  classes.emplace(css, name);
  return name;
}

void Dom::applyFont(const val& element, const platform::Font& font) {
  setStyle(element, "font-size", std::to_string(font.pointSize) + "px");
  setStyle(element, "font-weight", font.bold ? "700" : "400");
}

std::string Dom::alignment(platform::TextAlignment alignment) {
  switch (alignment) {
    case platform::TextAlignment::center:
      return "center";
    case platform::TextAlignment::right:
      return "right";
    case platform::TextAlignment::left:
      break;
  }
  return "left";
}

void Dom::callAtEndOfTurn(const char* name) { queueBoundCall(name); }

}  // namespace vantory::web
