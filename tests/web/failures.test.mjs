// The phone front-end when things go wrong: no service, no network, and
// replies a broken or hostile peer sends. The page stays alive and says so.
import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import { serverAndPhone, shot } from "./harness.mjs";

const shared = serverAndPhone(before, after);

const stores = "**/kelvane/qx/getListOfStores.php*";
const unreachable = "Could not reach the service. Please try again.";

// A page registered as Ann Lee, on the store list.
async function registeredPage() {
  const page = await shared.phone.context.newPage();
  await page.goto(shared.server.url);
  const welcome = page.getByText("Welcome to Vantory");
  const list = page.getByRole("button", { name: "Refresh" });
  await Promise.race([welcome.waitFor(), list.waitFor()]);
  if (await welcome.isVisible()) {
    await page.getByRole("textbox", { name: "First Name" }).fill("Ann");
    await page.getByRole("textbox", { name: "Last Name" }).fill("Lee");
    await page.getByRole("button", { name: "Save" }).click();
  }
  await list.waitFor();
  return page;
}

async function dismissAlert(page, message) {
  const dialog = page.getByRole("dialog");
  await dialog.getByText(message).waitFor();
  await dialog.getByRole("button").first().click();
  await dialog.waitFor({ state: "detached" });
}

test("a service that cannot be reached shows the app's alert, and the list comes after it is back",
  async () => {
    const page = await registeredPage();
    await page.route(stores, (route) => route.abort("connectionrefused"));
    await page.reload();
    await shot(page, "20-service-down");
    await dismissAlert(page, unreachable);
    await page.unroute(stores);
    await page.getByRole("button", { name: "Refresh" }).click();
    await page.getByText("You Dont have any Stores.").waitFor();
    await page.close();
  });

test("with the network cut after one visit, the app still opens and shows its own alert",
  async () => {
    const page = await registeredPage();
    await page.evaluate(async () => {
      await navigator.serviceWorker.ready;
      // Controlled from the next load on; the app's files are kept by then.
    });
    await page.reload();
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
    await page.getByRole("button", { name: "Refresh" }).waitFor();
    // Routed by the browser itself: the app's files from the kept copy, the
    // list from the network, neither through the worker's script.
    const sources = await page.evaluate(() => performance.getEntriesByType("resource")
      .map((entry) => [new URL(entry.name).pathname.replace(/.*\//, ""), entry.workerFinalSourceType]));
    const routed = (pattern) => [...new Set(sources.filter(([file]) => pattern.test(file)).map(([, source]) => source))];
    assert.deepEqual(routed(/\.wasm$/), ["cache"]);
    assert.deepEqual(routed(/^getListOfStores\.php$/), ["network"]);
    await shared.phone.context.setOffline(true);
    try {
      await page.reload();
      await page.getByRole("button", { name: "Refresh" }).waitFor();
      await shot(page, "21-offline");
      await dismissAlert(page, unreachable);
    } finally {
      await shared.phone.context.setOffline(false);
    }
    await page.close();
  });

test("hostile replies leave the page alive and responsive", async () => {
  const page = await registeredPage();
  const deep = "[".repeat(100000) + "]".repeat(100000);
  const huge = Buffer.alloc(50 * 1024 * 1024, "[1,");
  const replies = [
    ['[{"storeId": 1e999, "name": "Far"}]', "a number beyond a double"],
    [deep, "nesting 100,000 deep"],
    [Buffer.from([0x5b, 0x22, 0xff, 0xfe, 0x22, 0x5d]), "invalid UTF-8"],
    [huge, "a 50 MB reply"],
    ['[{"storeId": {"x": []}, "name": 7}]', "wrong types at every key"],
  ];
  for (const [body, what] of replies) {
    await page.route(stores, (route) =>
      route.fulfill({ status: 200, contentType: "application/json", body }));
    const answered = page.waitForEvent("requestfinished",
                                       (request) => request.url().includes("getListOfStores"));
    await page.getByRole("button", { name: "Refresh" }).click();
    await answered;
    // The fetch ends (the indicator stops) with the app's alert or nothing.
    await page.getByRole("progressbar").waitFor({ state: "hidden", timeout: 20000 });
    const dialog = page.getByRole("dialog");
    if (await dialog.count()) {
      await dialog.getByRole("button").first().click();
      await dialog.waitFor({ state: "detached" });
    }
    // The page answers, and the app goes on: the next refresh reaches the service.
    await page.unroute(stores);
    await page.getByRole("button", { name: "Refresh" }).click();
    await page.getByText("You Dont have any Stores.").waitFor({ timeout: 20000 });
    assert.deepEqual(shared.phone.problems, [], `after ${what}`);
  }
  await page.close();
});
