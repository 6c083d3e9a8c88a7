// The page's side of the app: passes what a person does to the module (by
// the numbers the module put on its elements) and takes the module's file
// name from the page. Everything drawn is drawn by the module. It is the
// page's first script, in its head, so that the module and the first list
// are on their way while the rest of the page is read.
"use strict";

var Module = (() => {
  const file = document.querySelector('meta[name="vantory-module"]').content;
  const fetched = () => fetch(file, { credentials: "same-origin" });
  // Compiled as it arrives, while the rest of the page is still read; from
  // its bytes where the browser cannot compile a stream.
  const compiled = (WebAssembly.compileStreaming
    ? WebAssembly.compileStreaming(fetched())
    : Promise.reject(new Error("no streaming compile")))
    .catch(() => fetched().then((response) => response.arrayBuffer())
      .then((bytes) => WebAssembly.compile(bytes)));
  return {
    locateFile: (path) => (path.endsWith(".wasm") ? file : path),
    instantiateWasm(imports, started) {
      compiled.then((module) => WebAssembly.instantiate(module, imports)
        .then((instance) => started(instance, module)))
        .catch((error) => {
          console.error("vantory: the app cannot start: " + error);
          const screen = document.getElementById("screen");
          if (screen) screen.textContent = "Vantory cannot start: " + error;
        });
      return {};  // started later, by `started`
    },
  };
})();

// The first list is on its way while the module is still being compiled: the
// page sends again, as it opens, the request the app began with last time,
// and hands its reply over if the app begins with the same request within a
// few seconds. Only the request is kept between visits, never a reply.
(() => {
  const KEY = "vantory.firstRequest";
  const WITHIN_MS = 5000;
  let early = null;
  try {
    const kept = localStorage.getItem(KEY);
    const { url, init } = JSON.parse(kept) || {};
    if (typeof url === "string" && new URL(url, location.href).origin === location.origin) {
      const controller = new AbortController();
      early = { kept, controller, reply: fetch(url, { ...init, signal: controller.signal }) };
      early.reply.catch(() => {});  // a failure is the app's to see, if it asks
    }
  } catch (error) {
    early = null;  // nothing kept, or not readable: the app asks as it would have
  }
  let first = true;
  Module.vantoryRequest = (url, init) => {
    if (!first) return fetch(url, init);
    first = false;
    const taken = early;
    early = null;
    const { signal, body, ...rest } = init;
    const request = JSON.stringify({ url, init: rest });
    try {
      if (init.method === "GET" && body === undefined) localStorage.setItem(KEY, request);
      else localStorage.removeItem(KEY);
    } catch (error) {
      // Storage full or refused: the next visit asks late, nothing worse.
    }
    if (!taken) return fetch(url, init);
    if (taken.kept !== request || performance.now() > WITHIN_MS) {
      taken.controller.abort();
      return fetch(url, init);
    }
    signal.addEventListener("abort", () => taken.controller.abort());
    // Sent too soon (the service was not there yet): asked again, as the app would.
    return taken.reply.catch((error) => {
      if (signal.aborted) throw error;
      return fetch(url, init);
    });
  };
})();

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
