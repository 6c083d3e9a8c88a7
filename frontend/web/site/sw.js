// Keeps the app itself (never the data) so that it opens without a network
// and then shows its own alert when the service cannot be reached.
const CACHE = "vantory-@CACHE_VERSION@";
const APP = ["./", "@MODULE_JS@", "@MODULE_WASM@", "@APP_JS@", "@APP_CSS@",
             "background.jpg", "vantory.svg", "icon-192.png", "icon-512.png", "manifest.webmanifest"];

self.addEventListener("install", (event) => {
  // Where the browser routes by itself, the app's files come from the cache
  // and the service's data from the network without a trip through this
  // worker, which cost every request of a page load some milliseconds.
  // Pages still come through the fetch handler below, for its offline copy.
  const routed = event.addRoutes
    ? event.addRoutes([
      ...APP.filter((file) => file !== "./").map((file) => ({ condition: { urlPattern: file }, source: { cacheName: CACHE } })),
      { condition: { not: { requestMode: "navigate" } }, source: "network" },
    ]).catch((error) => console.log("vantory: requests go through the worker: " + error))
    : Promise.resolve();
  event.waitUntil(routed.then(() => caches.open(CACHE)).then((cache) => cache.addAll(APP)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  // The page is asked for while the worker starts, not after.
  const preload = self.registration.navigationPreload ? self.registration.navigationPreload.enable()
                                                      : Promise.resolve();
  event.waitUntil(preload.then(() => caches.keys())
    .then((names) => Promise.all(names.filter((name) => name !== CACHE).map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== location.origin) return;
  if (event.request.mode === "navigate") {
    // The page from the network when there is one (it names the newest
    // module), else the kept one.
    event.respondWith((async () => {
      try {
        return (await event.preloadResponse) || (await fetch(event.request));
      } catch (error) {
        return caches.match("./");
      }
    })());
    return;
  }
  const path = url.pathname.slice(url.pathname.lastIndexOf("/") + 1);
  if (!APP.includes(path)) return;  // the service's data: always the network
  event.respondWith(caches.match(event.request).then((kept) => kept || fetch(event.request)));
});
