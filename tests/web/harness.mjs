// What every browser test needs: a real vantory-server serving the web app
// with a database of its own, and Debian's Chromium at a phone's size,
// driven by Playwright. Paths come from the environment (ctest sets them).
import { spawn, spawnSync } from "node:child_process";
import { mkdtempSync, mkdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

export const server_binary = process.env.VANTORY_SERVER;
export const shotDir = process.env.VANTORY_SCREENSHOTS ?? join(tmpdir(), "vantory-screens");

// A user list with one person in it, made by the server's own passwd command.
export function userList(folder, name, password) {
  const file = join(folder, "users");
  const made = spawnSync(server_binary, ["passwd", "--users", file, name],
                         { input: `${password}\n`, encoding: "utf8" });
  if (made.status !== 0) throw new Error(`passwd: ${made.stderr}`);
  return file;
}

// Starts vantory-server on a free port; resolves once it says it is ready.
// `extra` gives more options; a function is called with the server's folder.
export async function startServer(extra = []) {
  const folder = mkdtempSync(join(tmpdir(), "vantory-web-"));
  if (typeof extra === "function") extra = extra(folder);
  const child = spawn(
    server_binary,
    ["--listen", "127.0.0.1:0", "--database", join(folder, "vantory.db"), "--web-root", process.env.VANTORY_WEB_ROOT,
     "--log-level", "warn", ...extra],
    { stdio: ["ignore", "pipe", "inherit"] });
  const url = await new Promise((resolve, reject) => {
    let seen = "";
    child.stdout.on("data", (chunk) => {
      seen += chunk;
      const ready = /ready on (http\S+)/.exec(seen);
      if (ready) resolve(ready[1]);
    });
    child.on("exit", (code) => reject(new Error(`vantory-server ended (${code}): ${seen}`)));
  });
  return {
    url,
    async stop() {
      if (child.exitCode === null) {
        const ended = new Promise((resolve) => child.on("exit", resolve));
        child.kill("SIGTERM");
        await ended;
      }
      rmSync(folder, { recursive: true, force: true });
    },
  };
}

// Chromium as a phone in portrait: 390x844 CSS pixels at scale 3, touch.
export async function launchPhone() {
  const browser = await chromium.launch({
    executablePath: process.env.VANTORY_CHROMIUM ?? "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const context = await browser.newContext({
    viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
    locale: "en-US",
  });
  const problems = [];
  const watch = (page) => {
    page.on("pageerror", (error) => problems.push(`uncaught: ${error.message}`));
    page.on("console", (message) => {
      if (message.type() === "error" && !/Failed to load resource/.test(message.text())) {
        problems.push(`console: ${message.text()}`);
      }
    });
  };
  context.on("page", watch);
  return { browser, context, problems };
}

export async function shot(page, name) {
  mkdirSync(shotDir, { recursive: true });
  return page.screenshot({ path: join(shotDir, `${name}.png`), scale: "css" });
}

// The colours drawn in a box of the page (CSS pixels), read off a screenshot.
export async function pixelsIn(page, { x, y, width, height }) {
  const clip = { x: Math.round(x), y: Math.round(y), width: Math.max(1, Math.round(width)),
                 height: Math.max(1, Math.round(height)) };
  const png = await page.screenshot({ clip, scale: "css" });
  const reader = await page.context().browser().newPage();
  try {
    return await reader.evaluate(async ({ data, width, height }) => {
      const image = new Image();
      image.src = `data:image/png;base64,${data}`;
      await image.decode();
      const canvas = new OffscreenCanvas(width, height);
      const context = canvas.getContext("2d");
      context.drawImage(image, 0, 0);
      const bytes = context.getImageData(0, 0, width, height).data;
      const pixels = [];
      for (let i = 0; i < bytes.length; i += 4) pixels.push({ r: bytes[i], g: bytes[i + 1], b: bytes[i + 2] });
      return pixels;
    }, { data: png.toString("base64"), width: clip.width, height: clip.height });
  } finally {
    await reader.close();
  }
}


// For a test file: one server and one phone shared by its tests, started
// before them and stopped after. Their fields are set once started.
export function serverAndPhone(before, after) {
  const shared = { server: null, phone: null };
  before(async () => {
    shared.server = await startServer();
    shared.phone = await launchPhone();
  });
  after(async () => {
    await shared.phone?.browser.close();
    await shared.server?.stop();
  });
  return shared;
}
