// Keeps the app itself (never the data) so that it opens without a network
// and then shows its own alert when the service cannot be reached.
const CACHE = "vantory-@CACHE_VERSION@";
const APP = ["./", "@MODULE_JS@", "@MODULE_WASM@", "@APP_JS@", "@APP_CSS@",
             "background.jpg", "vantory.svg", "icon-192.png", "icon-512.png", "manifest.webmanifest"];

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(APP)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name !== CACHE).map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== location.origin) return;
  if (event.request.mode === "navigate") {
    // The page from the network when there is one (it names the newest
    // module), else the kept one.
    event.respondWith(fetch(event.request).catch(() => caches.match("./")));
    return;
  }
  const path = url.pathname.slice(url.pathname.lastIndexOf("/") + 1);
  if (!APP.includes(path)) return;  // the service's data: always the network
  event.respondWith(caches.match(event.request).then((kept) => kept || fetch(event.request)));
});
