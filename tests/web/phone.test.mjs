// The phone front-end in a real browser at a phone's size, against a real
// vantory-server serving it: what a person does, found as a person finds it.
import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import { pixelsIn, serverAndPhone, shot, startServer, userList } from "./harness.mjs";

const shared = serverAndPhone(before, after);

// Fills the open dialog's fields in order and taps its button.
async function answer(page, values, button) {
  const dialog = page.getByRole("dialog");
  await dialog.waitFor();
  const fields = dialog.getByRole("textbox");
  for (const [index, value] of values.entries()) {
    await fields.nth(index).fill(value);
  }
  await dialog.getByRole("button", { name: button, exact: true }).click();
  await dialog.waitFor({ state: "detached" });
}

test("a person registers, adds a store and a deal, declares interest, buys, edits and searches",
  async () => {
    const page = await shared.phone.context.newPage();
    await page.goto(shared.server.url);
    await page.getByText("Welcome to Vantory").waitFor();
    await shot(page, "01-registration");
    await page.getByRole("textbox", { name: "First Name" }).fill("Ann");
    await page.getByRole("textbox", { name: "Last Name" }).fill("Lee");
    await page.getByRole("button", { name: "Save" }).click();

    // The empty list says so, in the app's brown.
    const empty = page.getByText("You Dont have any Stores.");
    await empty.waitFor();
    await shot(page, "02-stores-empty");
    const brown = ({ r, g, b }) => r > g + 25 && g > b + 15 && r < 200;
    assert.ok((await pixelsIn(page, await empty.boundingBox())).some(brown),
      "the empty-list message is drawn in brown");

    // Touch targets are at least 44 px.
    for (const name of ["Add", "Refresh", "Search"]) {
      const button = await page.getByRole("button", { name, exact: true }).boundingBox();
      assert.ok(button.height >= 44 && button.width >= 44, `${name}: ${JSON.stringify(button)}`);
    }

    await page.getByRole("button", { name: "Add", exact: true }).click();
    await page.getByRole("dialog").waitFor();
    await shot(page, "03-add-store");
    await answer(page, ["Café & Co"], "Save");
    const store = page.getByRole("button", { name: /Café & Co/ });
    await store.waitFor();
    await shot(page, "04-stores");

    // The red chevron, drawn at the row's right end.
    const row = await store.boundingBox();
    const end = { x: row.x + row.width - 32, y: row.y, width: 32, height: row.height };
    assert.ok((await pixelsIn(page, end)).some(({ r, g, b }) => r > 180 && g < 90 && b < 90),
      "a red chevron at the end of the row");

    await store.click();
    await page.getByText("Store added by Ann Lee").waitFor();
    await page.getByRole("button", { name: "Add", exact: true }).click();
    await answer(page, ["Oat milk", "Two for one", "2.50"], "Save");
    const deal = page.getByRole("button", { name: /Oat milk/ });
    await deal.waitFor();
    await page.getByText("$2.50").waitFor();
    await shot(page, "05-deals");

    await deal.click();
    await page.getByText("Deal posted by Ann Lee").waitFor();
    await page.getByText("Total: 0").waitFor();
    await shot(page, "06-deal");
    await page.getByRole("button", { name: "I'm Interested" }).click();
    await page.getByRole("dialog").waitFor();
    await shot(page, "07-interest");
    await answer(page, ["2"], "Save");
    await page.getByText("Total: 2").waitFor();
    await page.getByText("Needed: 2").waitFor();

    // Someone else wants three: the open deal shows it with nothing tapped.
    const api = `${shared.server.url}/kelvane/qx`;
    const stores = (await (await fetch(`${api}/getListOfStores.php?`)).json()).Stores;
    const storeId = stores.find((s) => s.name === "Café & Co").id;
    const items = (await (await fetch(`${api}/getListOfItems.php?store_id=${storeId}`)).json()).Items;
    const itemId = items.find((i) => i.name === "Oat milk").id;
    const other = await fetch(`${api}/addInterested.php`, {
      method: "POST",
      body: "interested=" + JSON.stringify({ itemId, name: "Bo", qty: "3" }),
    });
    assert.equal(other.status, 200);
    await page.getByText("Total: 5").waitFor({ timeout: 5000 });
    await page.getByText("Bo", { exact: true }).waitFor();

    await page.getByRole("button", { name: "Purchases" }).click();
    await page.getByText("No one Bought as of now.").waitFor();
    await shot(page, "08-purchases");
    await page.getByRole("button", { name: "I Bought This" }).click();
    await page.getByRole("dialog").getByRole("button", { name: "Proceed" }).click();
    await page.getByText("How many did you Buy?").waitFor();
    await shot(page, "09-bought");
    await answer(page, ["1"], "Save");
    await page.getByText("Bought: 1").waitFor();
    await page.getByText("Needed: 4").waitFor();

    // The browser's back button goes back one screen.
    await page.goBack();
    await page.getByRole("button", { name: "Edit" }).waitFor();
    await page.getByRole("button", { name: "Edit" }).click();
    await shot(page, "10-edit");
    await answer(page, ["Soy milk"], "Save");
    await page.getByText("Soy milk").first().waitFor();

    // The bar's back button, twice, then a search.
    await page.getByRole("button", { name: "Back" }).click();
    await page.getByText("Store added by Ann Lee").waitFor();
    await page.getByRole("button", { name: "Back" }).click();
    await page.getByRole("button", { name: "Search" }).click();
    await answer(page, ["soy"], "Search");
    await page.getByRole("button", { name: /Soy milk/ }).waitFor();
    await shot(page, "11-search");

    // A reload keeps the registered name: straight to the stores.
    await page.reload();
    await page.getByRole("button", { name: /Café & Co/ }).waitFor();
    assert.equal(await page.getByText("Welcome to Vantory").count(), 0);
    assert.deepEqual(shared.phone.problems, []);
    await page.close();
  });

test("with a user list, the browser asks who you are and the app works once you said", async () => {
  const guarded = await startServer((folder) => ["--users", userList(folder, "ann", "s3cret pass")]);
  try {
    // What makes a browser ask for the name and password.
    const refused = await fetch(guarded.url);
    assert.equal(refused.status, 401);
    assert.match(refused.headers.get("www-authenticate"), /^Basic realm="Vantory"/);

    const signedIn = await shared.phone.browser.newContext({
      viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true,
      httpCredentials: { username: "ann", password: "s3cret pass" },
    });
    const page = await signedIn.newPage();
    await page.goto(guarded.url);
    await page.getByRole("textbox", { name: "First Name" }).fill("Ann");
    await page.getByRole("textbox", { name: "Last Name" }).fill("Lee");
    await page.getByRole("button", { name: "Save" }).click();
    await page.getByText("You Dont have any Stores.").waitFor();
    await signedIn.close();
  } finally {
    await guarded.stop();
  }
});

test("a long name is cut short with an ellipsis, shown whole on a long press, in portrait and landscape",
  async () => {
    const page = await shared.phone.context.newPage();
    await page.goto(shared.server.url);
    const long = "The Farmers Market Stall By The Old Railway Station";
    await page.getByRole("button", { name: "Add", exact: true }).click();
    await answer(page, [long], "Save");
    const row = page.getByRole("button", { name: long });
    const title = row.locator(".title");
    const cut = () => title.evaluate((element) => element.scrollWidth > element.clientWidth);
    assert.equal(await cut(), true, "elided in portrait");
    const box = await row.boundingBox();
    await page.mouse.move(box.x + 40, box.y + box.height / 2);
    await page.mouse.down();
    await page.waitForFunction(
      (name) => [...document.querySelectorAll(".cell")].some(
        (cell) => cell.title === name && cell.classList.contains("whole")), long);
    await page.mouse.up();
    assert.equal(await cut(), false, "whole after a long press");
    assert.equal(await page.getByRole("dialog").count(), 0, "a long press opens nothing");

    await page.setViewportSize({ width: 844, height: 390 });
    await shot(page, "12-landscape");
    const wide = await row.boundingBox();
    assert.ok(wide.width > 600, `the list uses the width: ${wide.width}`);
    await page.close();
  });

test("the bar's buttons outlast a redraw: the keyboard keeps its place and a held finger its tap",
  async () => {
    const page = await shared.phone.context.newPage();
    await page.goto(shared.server.url);
    await page.getByRole("button", { name: /Café & Co/ }).waitFor();

    // Refresh from the keyboard, twice: each press draws the screen twice
    // (the spinner shown, then the list with the spinner gone).
    const refresh = page.getByRole("button", { name: "Refresh", exact: true });
    await refresh.focus();
    for (let press = 1; press <= 2; press += 1) {
      const read = page.waitForResponse((response) => response.url().includes("getListOfStores"),
                                        { timeout: 10000 });
      await page.keyboard.press("Enter");
      await read;
      await page.locator(".spinner").waitFor({ state: "hidden" });
      assert.equal(await page.evaluate(() => document.activeElement?.textContent), "Refresh",
                   `the focus after press ${press}`);
    }

    // A finger held on Add while someone else's store arrives and the list is
    // drawn again: lifted, it opens the dialog.
    const add = await page.getByRole("button", { name: "Add", exact: true }).boundingBox();
    await page.mouse.move(add.x + add.width / 2, add.y + add.height / 2);
    await page.mouse.down();
    await fetch(`${shared.server.url}/kelvane/qx/addStore.php`, {
      method: "POST", headers: { "Content-Type": "application/x-www-form-urlencoded" },
      body: `store=${JSON.stringify({ name: "Corner Shop", created: "Bo" })}`,
    });
    await page.getByRole("button", { name: /Corner Shop/ }).waitFor();
    await page.mouse.up();
    await page.getByRole("dialog").waitFor({ timeout: 10000 });
    await page.keyboard.press("Escape");
    await page.getByRole("dialog").waitFor({ state: "detached" });
    await page.close();
  });

test("on a reload the list is asked for while the page is still being read, and a long list comes whole and in order",
  async () => {
    const names = Array.from({ length: 250 }, (_, i) => `Row ${String(i + 1).padStart(3, "0")}`);
    for (const name of names) {
      await fetch(`${shared.server.url}/kelvane/qx/addStore.php`, {
        method: "POST", headers: { "Content-Type": "application/x-www-form-urlencoded" },
        body: `store=${JSON.stringify({ name, created: "Ann Lee" })}`,
      });
    }
    const page = await shared.phone.context.newPage();
    await page.goto(shared.server.url);  // the visit that begins with the store list
    await page.getByRole("button", { name: "Row 250", exact: true }).waitFor();
    // When the list is asked for: while the page is read, or once the change
    // stream is open (the app reads its list again then).
    await page.addInitScript(() => {
      const send = window.fetch;
      const Stream = window.EventSource;
      let streamSaid = false;
      window.EventSource = function (...args) {
        const stream = new Stream(...args);
        for (const kind of ["open", "message", "reset"]) stream.addEventListener(kind, () => { streamSaid = true; });
        return stream;
      };
      window.listAskedWhile = [];
      window.fetch = (input, init) => {
        if (String(input).includes("getListOfStores")) {
          window.listAskedWhile.push(streamSaid ? "after the stream" : document.readyState);
        }
        return send(input, init);
      };
    });
    const printed = page.waitForEvent("console", (message) => message.text().includes('"Row 250"'));
    await page.reload();
    await page.locator("button.cell", { hasText: "Row 250" }).waitFor();
    await printed;
    const asked = await page.evaluate(() => window.listAskedWhile);
    assert.deepEqual(asked.filter((when) => when !== "after the stream"), ["loading"],
                     "the app's first request is the one the page sent before the app ran");
    const shown = (await page.locator("button.cell .title").allTextContents())
      .filter((title) => title.startsWith("Row "));
    assert.deepEqual(shown, names);
    // Whatever the kept request has become, the app starts and asks as it would.
    const seenBefore = shared.phone.problems.length;
    for (const kept of ["not json", "5", '{"url":7,"init":"x"}', '{"url":"https://elsewhere.example/"}',
                        '{"url":"/kelvane/qx/getListOfStores.php","init":{"method":"NO SUCH"}}']) {
      await page.evaluate((value) => localStorage.setItem("vantory.firstRequest", value), kept);
      await page.reload();
      await page.locator("button.cell", { hasText: "Row 250" }).waitFor();
    }
    assert.deepEqual(shared.phone.problems.slice(seenBefore), []);
    await page.close();
  });

test("prices follow the phone's language, as the desktop app's do for its locale", async () => {
  const german = await shared.phone.browser.newContext({
    viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true, locale: "de-DE",
  });
  const page = await german.newPage();
  await page.goto(shared.server.url);
  await page.getByRole("textbox", { name: "First Name" }).fill("Jörg");
  await page.getByRole("textbox", { name: "Last Name" }).fill("Maier");
  await page.getByRole("button", { name: "Save" }).click();
  await page.getByRole("button", { name: /Café & Co/ }).click();
  // ICU's de_DE: the comma, a no-break space, the euro sign.
  await page.getByText("2,50\u00a0€").waitFor();
  await german.close();
});
