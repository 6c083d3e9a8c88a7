// The page's side of the app: passes what a person does to the module (by
// the numbers the module put on its elements) and takes the module's file
// name from the page. Everything drawn is drawn by the module.
"use strict";

var Module = {
  locateFile: (path) =>
    path.endsWith(".wasm") ? document.querySelector('meta[name="vantory-module"]').content : path,
};

(() => {
  const ready = () => typeof Module.vantoryTap === "function";
  const number = (element, name) => Number(element.getAttribute(name));

  // A long press on a row shows its whole text, and is not a tap.
  let pressTimer = 0;
  let longPressed = false;
  document.addEventListener("pointerdown", (event) => {
    const row = event.target.closest(".cell");
    longPressed = false;
    if (!row) return;
    pressTimer = setTimeout(() => {
      longPressed = true;
      row.classList.toggle("whole");
    }, 500);
  });
  for (const end of ["pointerup", "pointercancel", "pointerleave"]) {
    document.addEventListener(end, () => clearTimeout(pressTimer));
  }
  document.addEventListener("contextmenu", (event) => {
    if (event.target.closest(".cell")) event.preventDefault();
  });

  document.addEventListener("click", (event) => {
    if (longPressed) {
      longPressed = false;
      return;
    }
    const target = event.target.closest("[data-tap]");
    if (target && ready() && !target.disabled) Module.vantoryTap(number(target, "data-tap"));
  });
  document.addEventListener("input", (event) => {
    const field = event.target.closest("[data-field]");
    if (field && ready()) Module.vantoryType(number(field, "data-field"), field.value);
  });
  document.addEventListener("focusin", (event) => {
    const field = event.target.closest("[data-field]");
    if (!field || !ready()) return;
    Module.vantoryFocus(number(field, "data-field"));
    // The on-screen keyboard takes the bottom of the screen: the field stays in view.
    setTimeout(() => field.scrollIntoView({ block: "center", behavior: "smooth" }), 300);
  });
  document.addEventListener("keydown", (event) => {
    if (!ready()) return;
    const field = event.target.closest("[data-field]");
    if (event.key === "Enter" && field) {
      event.preventDefault();
      Module.vantoryReturn(number(field, "data-field"));
    } else if (event.key === "Escape") {
      const cancel = document.querySelector("#alert [data-cancel]");
      if (cancel) cancel.click();
    }
  });
  window.addEventListener("popstate", (event) => {
    if (ready()) Module.vantoryHistory((event.state && event.state.depth) || 1);
  });

  if ("serviceWorker" in navigator) {
    navigator.serviceWorker.register("sw.js").catch((error) => console.log("vantory: offline copy unavailable: " + error));
  }
})();
