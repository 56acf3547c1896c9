// SPDX-License-Identifier: MIT
// The page in headless Chromium or Firefox, opened from disk: every case
// and workload that a page can run, put into the editor as a file would
// be, must show the program's standard output and error byte for byte (a
// long output: its first megabyte, and the whole by SHA-256 through the
// download); a rejected file marks its line; the address keeps the
// grammar; a flood of output does not hold the page, and a run can be
// stopped; derivations and their trees by mouse and keyboard; the console
// shows no error. Screenshots at 1280 and 360 pixels wide, light and dark,
// in SCREENSHOT_DIR/BROWSER. Chromium is driven over its DevTools
// protocol, Firefox over WebDriver BiDi, which here emulates no media
// features: Firefox's dark pages come from a second Firefox that prefers
// dark.
// Usage: node browser.js PAGE SOURCE_DIR chromium|firefox EXECUTABLE SCREENSHOT_DIR
"use strict";

const crypto = require("crypto");
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");
const { pageCases, readOr } = require("./cases.js");
const { check, failures, waitForRun, runCount, loadAndRun, editorBytes, quickestKeystroke, paneBytes,
  focusNode, checkAccessibility } = require("./page_driver.js");
const { checkDerivations, checkCutClick, checkSelected, checkTree } = require("./derivation_checks.js");
const { checkTestStrings, checkCompare, checkSteps, checkCoverage, checkCover, toolScreens } =
  require("./tools_checks.js");

const [pagePath, sourceDir, browserName, executable, screenshotRoot] = process.argv.slice(2);
const firefox = browserName === "firefox";
const screenshotDir = path.join(screenshotRoot, browserName);
const pageUrl = `file://${path.resolve(pagePath)}`;
const HEAD_LIMIT = 1 << 20;  // bytes of standard output the page shows

// The SHA-256 of the whole output, which Download saves.
async function downloadDigest(page) {
  return page.evaluate(async () => {
    const whole = await window.sentgen.result().output.arrayBuffer();
    const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", whole));
    return Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join("");
  });
}

async function checkCase(page, c) {
  await loadAndRun(page, c.grammar);
  const kept = await editorBytes(page);
  check(kept.equals(c.grammar), `${c.name}: the editor keeps the file's bytes`);
  const result = await page.evaluate(() => {
    const r = window.sentgen.result();
    return { status: r.status, total: r.total, milliseconds: r.milliseconds };
  });
  const shown = await paneBytes(page, "output");
  // What the program prints: its SHA-256 and its first bytes.
  const digests = readOr(path.join(c.dir, "expected-sha256"), null);
  let want, start;
  if (digests) {
    want = digests.toString().split("\n")[0].trim();
    start = fs.readFileSync(path.join(c.dir, "expected-head"));
  } else {
    const whole = readOr(path.join(c.dir, "expected"), Buffer.alloc(0));
    want = crypto.createHash("sha256").update(whole).digest("hex");
    start = whole.subarray(0, HEAD_LIMIT);
  }
  check(await downloadDigest(page) === want, `${c.name}: the whole output, downloaded`);
  // A long output is shown up to the last line end in its first megabyte.
  const whole = result.total <= HEAD_LIMIT ? shown.length === result.total
    : shown.length <= HEAD_LIMIT && shown[shown.length - 1] === 0x0a;
  check(whole && shown.subarray(0, start.length).equals(start.subarray(0, shown.length)),
    `${c.name}: standard output in the pane`);
  if (result.total > HEAD_LIMIT) {
    const more = await page.$eval("#more", (p) => (p.hidden ? "" : p.textContent));
    const hidden = (result.total - shown.length).toLocaleString("en");
    check(more.includes(hidden), `${c.name}: the pane counts the ${hidden} bytes not shown`);
  }
  const errors = await paneBytes(page, "errors");
  check(errors.equals(readOr(path.join(c.dir, "stderr"), Buffer.alloc(0))),
    `${c.name}: standard error`);
  const status = Number(readOr(path.join(c.dir, "status"), "0").toString().trim());
  check(result.status === status, `${c.name}: exit status ${result.status}, expected ${status}`);
  const rejected = /^grammar\.txt:(\d+): /.exec(shown.toString("latin1"));
  if (status === 1 && rejected) {
    const line = Number(rejected[1]);
    const marked = await page.evaluate((n) => {
      const number = document.querySelectorAll("#gutter .n")[n - 1];
      const copy = document.querySelectorAll("#backdrop .l")[n - 1];
      return window.sentgen.marks()[n] === "error" && number !== undefined &&
        number.classList.contains("error") && copy.classList.contains("error");
    }, line);
    check(marked, `${c.name}: line ${line} is marked in the editor`);
  }
  return result.milliseconds;
}

// The page as a tool to rely on: a large or binary file opens without
// freezing it; a stopped run keeps and labels its output, and Download
// saves exactly that; Back undoes loading an example; a broken link says
// so and keeps its address; a mark stays on its line scrolled sideways;
// Copy copies the bytes as shown; focus stays on the page after Stop; a
// rejection's message shows by the editor.
async function checkReliance(page, open, sourceDir) {
  // 2 MB of 100,000 lines and 150 KB of binary bytes open read-only;
  // 60 KB of text or of binary bytes stay editable, a keystroke quick.
  const lines = (count) => Buffer.from(Array.from({ length: count }, (_, i) =>
    `; comment line ${i} of a long file, padded to twenty bytes more\n`).join(""));
  const binary = (size) => {
    const bytes = Buffer.alloc(size);
    for (let i = 0; i < size; i += 1) bytes[i] = (i * 7919 + (i >> 3)) & 0xff;
    return bytes;
  };
  const files = [["2 MB of text", lines(100000).subarray(0, 2 << 20), true],
    ["150 KB of binary bytes", binary(150 << 10), true],
    ["60 KB of text", lines(1000).subarray(0, 60 << 10), false],
    ["60 KB of binary bytes", binary(60 << 10), false]];
  for (const [name, bytes, readOnly] of files) {
    const opened = await page.evaluate((b64) => {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const start = performance.now();
      window.sentgen.loadBytes(bytes);
      document.body.getBoundingClientRect();  // drawn
      return performance.now() - start;
    }, bytes.toString("base64"));
    const seen = { keystroke: await quickestKeystroke(page, "grammar", "x"),
      ...await page.evaluate(() => ({ readOnly: document.getElementById("grammar").readOnly,
        note: !document.getElementById("plain-note").hidden })) };
    console.log(`${name}: opened in ${opened.toFixed(0)} ms` +
      (readOnly ? ", read-only" : `, a keystroke in ${seen.keystroke.toFixed(1)} ms`));
    check(opened < 1000 && seen.readOnly === readOnly && seen.note === readOnly &&
      (readOnly || seen.keystroke < 50), `${name}: opened in time, ${JSON.stringify(seen)}`);
    if (readOnly) {
      check((await editorBytes(page)).equals(bytes), `${name}: runs as it is, byte for byte`);
    }
  }

  // Bytes that are not text read in the editor as the panes write them:
  // "\xe9" four columns wide, CR "\r" two, a run of them tinted as one, on
  // lines of the usual height; text, "é" included, stays as it is.
  const oddText = Buffer.concat([Buffer.from("; caf\u00e9 and caf"),
    Buffer.from("\xe9\nS -> a\x01b\r\nS -> \x00\x7f\xc2\x85\n", "latin1")]);
  await loadAndRun(page, oddText);
  const drawn = await page.evaluate(async () => {
    await window.sentgen.byteFace.loaded;
    const backdrop = document.getElementById("backdrop");
    const context = document.createElement("canvas").getContext("2d");
    context.font = getComputedStyle(backdrop).font;
    const column = context.measureText("x").width;
    const rows = [...backdrop.querySelectorAll(".l")];
    return {
      bytes: [...backdrop.querySelectorAll(".byte")].map((span) =>
        Math.round(span.getBoundingClientRect().width / column)),
      // To a hundredth of a pixel: Firefox's heights differ in the sixth digit.
      heights: [...new Set(rows.map((row) => Math.round(row.getBoundingClientRect().height * 100)))],
      firstLine: rows[0].textContent,
    };
  });
  check(JSON.stringify(drawn.bytes) === "[4,4,2,16]" && drawn.heights.length === 1 &&
    drawn.firstLine === "; caf\u00e9 and caf\uf7e9",
    `bytes that are not text read as escapes in the editor: ${JSON.stringify(drawn)}`);
  check((await editorBytes(page)).equals(oddText), "the editor keeps the bytes behind the escapes");

  // A stopped run.
  const flood = fs.readFileSync(path.join(sourceDir, "bench/workloads/flood/grammar.txt"));
  // Stop is pressed (focused, then activated as Space or Enter does) as
  // soon as the run has printed something, from within the page, so that
  // the run is surely still going.
  await page.evaluate((b64) => new Promise((resolve) => {
    const state = document.getElementById("state");
    const runsBefore = Number(document.body.dataset.runs);
    const watch = new MutationObserver(() => {
      if (Number(document.body.dataset.runs) > runsBefore && /running\u2026 \d/.test(state.textContent)) {
        watch.disconnect();
        const stop = document.getElementById("stop");
        stop.focus();
        stop.click();
        resolve();
      }
    });
    watch.observe(state, { childList: true, characterData: true, subtree: true });
    window.sentgen.loadBytes(Uint8Array.from(atob(b64), (c) => c.charCodeAt(0)));
  }), flood.toString("base64"));
  await page.waitForFunction(() => document.body.dataset.state === "stopped", { timeout: 5000 });
  const stopped = await page.evaluate(async () => ({
    label: document.getElementById("state").textContent,
    focus: document.activeElement.id,
    shown: document.getElementById("output").textContent.length,
    saved: (await window.sentgen.result().output.arrayBuffer()).byteLength,
  }));
  const bytes = Number((/stopped after ([\d,]+) bytes/.exec(stopped.label) || ["", "-1"])[1].replace(/,/g, ""));
  check(bytes > 0 && stopped.saved === bytes && stopped.shown > 0,
    `a stopped run keeps its output, labelled, and Download saves it: ${JSON.stringify(stopped)}`);
  check(stopped.focus === "output", `focus after Stop: ${stopped.focus}`);

  // Back after loading an example.
  const edited = Buffer.from("S -> xSy\nS -> edited\n");
  await loadAndRun(page, edited);
  await page.waitForFunction(() => location.hash.length > 3);
  const before = await runCount(page);
  await page.select("#examples", "anbn");
  await page.click("#load-example");
  await waitForRun(page, before);
  const loaded = await editorBytes(page);
  await page.goBack();
  await page.waitForFunction((text) => document.getElementById("grammar").value === text,
    { timeout: 5000 }, edited.toString());
  check(!loaded.equals(edited), "Load replaces the grammar, and Back gives the edited one back");

  // A broken link.
  for (const hash of ["#g=!!!", "#g=A", "#g=%20UyAtPiBh"]) {
    const broken = await open(`${pageUrl}${hash}`);
    await new Promise((done) => setTimeout(done, 500));
    const seen = await broken.evaluate(() => ({
      notice: document.getElementById("notice").hidden ? "" : document.getElementById("notice").textContent,
      hash: location.hash,
    }));
    check(seen.notice.includes("could not be read") && seen.hash === hash,
      `a broken link says so and keeps its address: ${JSON.stringify(seen)}`);
    await broken.close();
  }

  // A mark scrolled sideways, Copy, and a rejection by the editor.
  const wide = Buffer.from(`; ${"w".repeat(400)}\nS -> a\nS -> \xe9\nS->ab\n`, "latin1");
  await loadAndRun(page, wide);
  const band = await page.evaluate(() => {
    const field = document.getElementById("grammar");
    field.scrollLeft = 2000;
    field.dispatchEvent(new Event("scroll"));
    const mark = document.querySelector("#backdrop .l.warning").getBoundingClientRect();
    const view = field.getBoundingClientRect();
    return { left: mark.left, right: mark.right, viewLeft: view.left, viewRight: view.right };
  });
  check(band.left <= band.viewLeft + 10 && band.right >= band.viewRight - 20,
    `a marked line's band spans the editor scrolled sideways: ${JSON.stringify(band)}`);
  const copied = await page.evaluate(async () => {
    let text = null;
    navigator.clipboard.writeText = async (t) => { text = t; };
    document.getElementById("copy").click();
    await new Promise((done) => setTimeout(done, 50));
    return { text, state: document.getElementById("state").textContent };
  });
  check(copied.text !== null && copied.text.includes("\\xe9") && copied.state.startsWith("exit status"),
    `Copy copies the bytes as shown and keeps the status: ${JSON.stringify(copied.state)}`);
  await loadAndRun(page, Buffer.from("S -> a\nS\n"));
  const message = await page.$eval("#messages", (p) => (p.hidden ? "" : p.textContent));
  check(message.startsWith("Rejected: line 2: rule line shorter than 5 characters"),
    `a rejection's message by the editor: ${message}`);
}

// Launches the browser with a fresh profile; its pages prefer `scheme`
// (Firefox's preference; Chromium's pages are told each time).
async function launch(scheme) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `sentgen-${browserName}-`));
  const browser = await (firefox ? puppeteer.launch({
    browser: "firefox",
    protocol: "webDriverBiDi",
    executablePath: executable,
    headless: true,
    userDataDir: profile,
    // The system's theme too, as a user's, so that scrollbars follow.
    extraPrefsFirefox: { "layout.css.prefers-color-scheme.content-override": scheme === "dark" ? 0 : 1,
      "ui.systemUsesDarkTheme": scheme === "dark" ? 1 : 0 },
  }) : puppeteer.launch({
    executablePath: executable,
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  }));
  return {
    browser,
    async close() {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

async function main() {
  const started = Date.now();
  const launched = [await launch("light")];
  const { browser } = launched[0];
  // A browser whose pages prefer `scheme`.
  const browserFor = async (scheme) => {
    if (!firefox || scheme === "light") return browser;
    if (launched.length === 1) launched.push(await launch(scheme));
    return launched[1].browser;
  };
  const consoleErrors = [];
  const open = async (url, width = 1280, height = 800) => {
    const page = await browser.newPage();
    page.on("console", (message) => {
      if (message.type() === "error") consoleErrors.push(message.text());
    });
    page.on("pageerror", (error) => consoleErrors.push(String(error)));
    await page.setViewport({ width, height });
    const before = 0;
    await page.goto(url);
    await waitForRun(page, before);
    return page;
  };
  try {
    const page = await open(pageUrl);
    // The page's parts are given what they need, not globals of the page.
    const globals = await page.evaluate(() => ["sentgenBytes", "byteFont", "sentgenTree", "makeEditor",
      "makeOutputView", "startEngineWorker", "makeRunner", "makeDerivationView", "makeTreeView", "makeAddress"]
      .filter((name) => (0, eval)(`typeof ${name}`) !== "undefined"));
    check(globals.length === 0, `the page's parts are not its globals: ${globals.join(", ")}`);
    const times = [];
    let cases = 0;
    let longest = { steps: 0 };
    for (const c of pageCases(sourceDir).filter((each) => each.usable)) {
      c.grammar = fs.readFileSync(path.join(c.dir, "grammar.txt"));
      const milliseconds = await checkCase(page, c);
      cases += 1;
      // The run of the most steps, for the step view's last step.
      const steps = await page.evaluate(() => (window.sentgen.result().summary || { steps: 0 }).steps);
      if (c.name.startsWith("bench/") && steps > longest.steps) longest = { name: c.name, grammar: c.grammar, steps };
      if (c.name.startsWith("bench/")) times.push(`${path.basename(c.dir)} ${milliseconds.toFixed(1)} ms`);
    }
    console.log(`page run times: ${times.join(", ")}`);

    // The grammar is in the address: opened anew, the page runs it again.
    const odd = Buffer.from("S -> a\tb\r\nS -> \xe9@\xff \n", "latin1");
    await loadAndRun(page, odd);
    await page.waitForFunction(() => location.hash.startsWith("#g="));
    const url = await page.url();
    const shared = await open(url);
    const again = await editorBytes(shared);
    check(again.equals(odd), "the address gives back the grammar's bytes");
    check((await paneBytes(shared, "output")).equals(await paneBytes(page, "output")),
      "the address gives back the same output");
    await shared.close();

    // A flood of output: the page's own memory stays small, for the whole
    // output is kept by the browser as a Blob; and a run can be stopped
    // with the keyboard.
    const flood = fs.readFileSync(path.join(sourceDir, "bench/workloads/flood/grammar.txt"));
    const fresh = await open(pageUrl);
    await loadAndRun(fresh, flood);
    if (firefox) {
      console.log("the page's memory after a flood: not measured, Firefox has no performance.memory");
    } else {
      const memory = await fresh.evaluate(() => performance.memory.usedJSHeapSize);
      check(memory < 32 << 20, `the page's memory after a flood: ${memory} bytes`);
    }
    await fresh.evaluate((b64) => {
      window.sentgen.loadBytes(Uint8Array.from(atob(b64), (c) => c.charCodeAt(0)));
    }, Buffer.concat([flood, Buffer.from("; once more\n")]).toString("base64"));
    await fresh.waitForFunction(() => document.body.dataset.state === "running", { polling: 10 });
    await fresh.keyboard.press("Escape");
    await fresh.waitForFunction(() => document.body.dataset.state === "stopped", { timeout: 2000 });
    await fresh.close();

    await checkDerivations(page, sourceDir);
    await checkTree(page, sourceDir);
    await checkReliance(page, open, sourceDir);
    await checkTestStrings(page, open);
    await checkCompare(page, open);
    await checkSteps(page, longest);
    await checkCoverage(page);
    await checkCover(page);

    // Keyboard alone: Tab reaches the examples, and an example loads.
    await page.focus("#grammar");
    await page.keyboard.down("Shift");
    await page.keyboard.press("Tab");
    await page.keyboard.press("Tab");
    await page.keyboard.press("Tab");
    await page.keyboard.up("Shift");
    const focused = await page.evaluate(() => document.activeElement.id);
    check(focused === "examples", `Shift+Tab from the editor reaches the examples (${focused})`);

    fs.mkdirSync(screenshotDir, { recursive: true });
    // The screenshots show a grammar with a slip, marked and warned about,
    // light and dark; axe-core checks the page there and with a rejected
    // file.
    const demo = Buffer.from("; a^n b^n, a slip on line 4, and caf\xe9 in Latin-1\nS -> aSb\nS -> @\nS->ab\n",
      "latin1");
    const rejected = Buffer.from("S -> aSb\nS -> @\nS\n");
    for (const [width, height, scheme] of [[1280, 800, "light"], [360, 740, "light"],
      [1280, 800, "dark"], [360, 740, "dark"]]) {
      const shot = await (await browserFor(scheme)).newPage();
      shot.on("pageerror", (error) => consoleErrors.push(String(error)));
      await shot.setViewport({ width, height });
      if (!firefox) await shot.emulateMediaFeatures([{ name: "prefers-color-scheme", value: scheme }]);
      await shot.goto(`${pageUrl}#g=${rejected.toString("base64url")}`);
      await waitForRun(shot, 0);
      check(await shot.evaluate((want) => matchMedia(`(prefers-color-scheme: ${want})`).matches, scheme),
        `the page at ${width} px prefers ${scheme}`);
      await checkAccessibility(shot, `${width} px, ${scheme}, a rejected file`);
      await loadAndRun(shot, demo);
      await checkAccessibility(shot, `${width} px, ${scheme}, a file with warnings`);
      check((await shot.evaluate(() => window.sentgen.marks()[4])) === "warning",
        "a warned line is marked");
      const overflow = await shot.evaluate(() => document.documentElement.scrollWidth);
      check(overflow <= width, `no sideways scrolling at ${width} px (${overflow} px wide)`);
      await shot.screenshot({ path: path.join(screenshotDir, `page-${width}-${scheme}.png`), fullPage: true });
      if (width === 360) await checkCutClick(shot);
      await shot.click('#output .sentence[data-n="2"]');
      await shot.waitForFunction(() => window.sentgen.derivation() &&
        window.sentgen.derivation().n === 2, { timeout: 10000 });
      await checkSelected(shot, `${width} px`);
      await shot.click('#derivation-steps button[data-label="0:0"]');
      await shot.evaluate(() => { document.getElementById("tree-text").open = true; });
      await focusNode(shot, "2");
      await checkAccessibility(shot, `${width} px, ${scheme}, a derivation and its tree`);
      await shot.screenshot({ path: path.join(screenshotDir, `derivation-${width}-${scheme}.png`), fullPage: true });
      await toolScreens(shot, screenshotDir, width, scheme, checkAccessibility);
      await shot.close();
    }
    check(consoleErrors.length === 0, `no console errors: ${consoleErrors.join(" | ")}`);
    console.log(`web.browser in ${browserName} (${await browser.version()}): ${cases} cases; ` +
      `${failures() === 0 ? "all passed" : `${failures()} failed`}; ${((Date.now() - started) / 1000).toFixed(0)} s`);
  } finally {
    for (const each of launched) await each.close();
  }
  process.exitCode = failures() > 0 ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
