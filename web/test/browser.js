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

const [pagePath, sourceDir, browserName, executable, screenshotRoot] = process.argv.slice(2);
const firefox = browserName === "firefox";
const screenshotDir = path.join(screenshotRoot, browserName);
const pageUrl = `file://${path.resolve(pagePath)}`;
const HEAD_LIMIT = 1 << 20;  // bytes of standard output the page shows

let failures = 0;
function check(ok, what) {
  if (!ok) {
    failures += 1;
    console.log(`FAIL ${what}`);
  }
  return ok;
}

// Waits for the run that follows `runsBefore` runs to end.
async function waitForRun(page, runsBefore, timeout = 120000) {
  await page.waitForFunction(
    (before) => Number(document.body.dataset.runs || 0) > before &&
      document.body.dataset.state === "done",
    { timeout, polling: 20 }, runsBefore);
}

async function runCount(page) {
  return page.evaluate(() => Number(document.body.dataset.runs || 0));
}

// Loads `bytes` as the grammar file, as Open file does, and waits for its run.
async function loadAndRun(page, bytes) {
  const before = await runCount(page);
  await page.evaluate((b64) => {
    window.sentgen.loadBytes(Uint8Array.from(atob(b64), (c) => c.charCodeAt(0)));
  }, Buffer.from(bytes).toString("base64"));
  await waitForRun(page, before);
}

// The bytes of the grammar file in the editor.
async function editorBytes(page) {
  const b64 = await page.evaluate(() => window.sentgen.bytes.bytesToBase64url(window.sentgen.grammarBytes()));
  return Buffer.from(b64, "base64url");
}

// The bytes a pane shows: its text, and the byte behind each escape.
async function paneBytes(page, id) {
  const b64 = await page.evaluate((paneId) => {
    const encoder = new TextEncoder();
    const parts = [];
    const walk = (parent) => {
      for (const node of parent.childNodes) {
        if (node.nodeType === Node.ELEMENT_NODE && node.dataset.b !== undefined) {
          parts.push(Uint8Array.of(parseInt(node.dataset.b, 16)));
        } else if (node.nodeType === Node.ELEMENT_NODE) {
          walk(node);
        } else {
          parts.push(encoder.encode(node.textContent));
        }
      }
    };
    walk(document.getElementById(paneId));
    let binary = "";
    for (const part of parts) {
      for (let i = 0; i < part.length; i += 0x8000) {
        binary += String.fromCharCode.apply(null, part.subarray(i, i + 0x8000));
      }
    }
    return btoa(binary);
  }, id);
  return Buffer.from(b64, "base64");
}

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

// The search's summary line after a run of `grammar`.
async function summaryOf(page, grammar) {
  await loadAndRun(page, Buffer.from(grammar));
  return page.$eval("#summary", (p) => p.textContent);
}

// Clicks sentence `n` at the start of its line, scrolled into view: the
// line may be far wider than the pane, and WebDriver BiDi clicks an
// element's middle, wherever that is.
async function clickLineStart(page, n) {
  const at = await page.evaluate((k) => {
    const sentence = document.querySelector(`#output .sentence[data-n="${k}"]`);
    sentence.scrollIntoView({ block: "center", inline: "start" });
    const box = sentence.getBoundingClientRect();
    return { x: box.left + 3, y: box.top + box.height / 2 };
  }, n);
  await page.mouse.click(at.x, at.y);
}

// Derivations: a sentence opens its derivation by mouse and by keyboard;
// a rule's label marks its listing line and its editor line; a long
// derivation shows its first and last steps and saves them all; the
// summary line tells each way a run ends.
async function checkDerivations(page, sourceDir) {
  await loadAndRun(page, Buffer.from("S -> aSb\nS -> @\n"));
  await page.click('#output .sentence[data-n="3"]');
  await page.waitForFunction(() => window.sentgen.derivation() &&
    window.sentgen.derivation().n === 3, { timeout: 10000 });
  const rows = await page.$$eval("#derivation-steps li", (items) => items.map((li) => li.textContent));
  check(JSON.stringify(rows) === JSON.stringify(["startS", "0:0aSb", "0:0aaSbb", "0:0aaaSbbb",
    "0:1aaa\u00b7bbb"]), `the derivation of aaabbb, by mouse: ${JSON.stringify(rows)}`);
  const marked = await page.$$eval("#derivation-steps li", (items) => items.map((li) =>
    [...li.querySelectorAll("mark")].map((m) => m.textContent).join("")));
  const under = await page.$$eval("#derivation-steps li", (items) => items.map((li) =>
    [...li.querySelectorAll("u")].map((u) => u.textContent).join("")));
  check(marked.join() === ",aSb,aSb,aSb,\u00b7" && under.join() === "S,S,S,S,",
    `each rule's text is marked, and the nonterminal replaced next: ${marked} / ${under}`);
  await page.click('#derivation-steps button[data-label="0:1"]');
  const picked = await page.evaluate(() => ({
    listing: [...document.querySelectorAll("#output .rule.picked")].map((e) => e.textContent),
    editor: [...document.querySelectorAll("#gutter .picked")].map((e) => e.textContent),
  }));
  check(picked.listing.join() === "\t0:1 S -> @" && picked.editor.join() === "2",
    `rule 0:1 marks its listing line and editor line 2: ${JSON.stringify(picked)}`);

  // Sentences are buttons, on lines of the pane's own height: the pane is
  // as tall as its lines.
  const buttons = await page.evaluate(() => {
    const pane = document.getElementById("output");
    const style = getComputedStyle(pane);
    const lines = pane.textContent.split("\n").length - 1;
    const height = lines * parseFloat(style.lineHeight) + parseFloat(style.paddingTop) +
      parseFloat(style.paddingBottom);
    return { tags: [...new Set([...pane.querySelectorAll(".sentence")].map((s) => s.tagName))].join(),
      roles: pane.querySelectorAll("[role=button]").length, height, scrollHeight: pane.scrollHeight };
  });
  check(buttons.tags === "BUTTON" && buttons.roles === 0 &&
    Math.abs(buttons.scrollHeight - buttons.height) <= 1.5,
  `sentences are buttons on lines of the pane's height: ${JSON.stringify(buttons)}`);

  // By keyboard: Tab from the pane to the first sentence, Enter; Space on
  // the next.
  await page.focus("#output");
  await page.keyboard.press("Tab");
  const first = await page.evaluate(() => document.activeElement.dataset.n);
  check(first === "0", `Tab from the pane reaches the first sentence (${first})`);
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => window.sentgen.derivation().n === 0, { timeout: 10000 });
  const focused = await page.evaluate(() => document.activeElement.id);
  check(focused === "derivation-title", `the keyboard lands on the derivation (${focused})`);
  await page.focus('#output .sentence[data-n="1"]');
  await page.keyboard.press(" ");  // WebDriver BiDi knows no "Space"
  await page.waitForFunction(() => window.sentgen.derivation().n === 1, { timeout: 10000 });
  await checkSelected(page, "opened by Space");
  // Close gives the focus back to the sentence, which is no longer marked.
  await page.click("#derivation-close");
  const closed = await page.evaluate(() => ({ focus: document.activeElement.dataset.n,
    marked: document.querySelectorAll("#output [aria-current]").length }));
  check(closed.focus === "1" && closed.marked === 0, `Close: ${JSON.stringify(closed)}`);

  // A long derivation: thousands of steps, forms of a hundred kilobytes.
  await loadAndRun(page, fs.readFileSync(path.join(sourceDir, "bench/workloads/reprint/grammar.txt")));
  const sentences = await page.$$eval("#output .sentence", (s) => s.length);
  await clickLineStart(page, sentences - 1);
  await page.waitForFunction((n) => window.sentgen.derivation() &&
    window.sentgen.derivation().n === n, { timeout: 10000 }, sentences - 1);
  const view = await page.evaluate(async () => {
    const d = window.sentgen.derivation();
    return {
      count: d.count, shown: d.shown.length,
      gaps: [...document.querySelectorAll("#derivation-steps .gap")].map((g) => g.textContent),
      saved: await d.text.text(),
    };
  });
  const savedLines = view.saved.split("\n").filter((line) => line !== "");
  check(savedLines.length === view.count + 1, `the saved derivation has every step (${savedLines.length})`);
  check(view.count < 80 || (view.shown === 80 && view.gaps.length === 1 &&
    view.gaps[0].includes((view.count + 1 - 80).toLocaleString("en"))),
  `a long derivation is shortened: ${JSON.stringify({ ...view, saved: undefined })}`);

  // Every way a run can end, in the summary line.
  const ends = [
    ["S -> aS\nS -> b\n", "ended: twenty sentences"],
    ["S -> a\nS -> b\n", "ended: nothing left pending"],
    ["S -> aS\n", "ended: 10,000 steps without a sentence"],
    ["S -> a\nS\n", "ended: the file was rejected"],
  ];
  for (const [grammar, end] of ends) {
    const line = await summaryOf(page, grammar);
    check(line.endsWith(end), `the summary of ${JSON.stringify(grammar)}: ${line}`);
  }
}

// Opens the derivation of the sentence that reads `text`, by mouse.
async function openSentence(page, text) {
  const n = await page.$$eval("#output .sentence", (all, want) =>
    all.findIndex((s) => s.textContent === want), text);
  await clickLineStart(page, n);
  await page.waitForFunction((want) => window.sentgen.derivation() &&
    window.sentgen.derivation().n === want, { timeout: 10000 }, n);
  return n;
}

// Focuses the tree's node `node`; puppeteer focuses HTML elements only.
async function focusNode(page, node) {
  await page.evaluate((n) => document.querySelector(`#tree-box g[data-node="${n}"]`).focus(), node);
}

// What is marked of a rule: its listing line, its editor line, its steps'
// labels and its tree's nodes.
async function markedRule(page) {
  return page.evaluate(() => ({
    listing: [...document.querySelectorAll("#output .rule.picked")].map((e) => e.dataset.label).join(),
    editor: [...document.querySelectorAll("#gutter .picked")].map((e) => e.textContent).join(),
    steps: [...new Set([...document.querySelectorAll("#derivation-steps .picked")].map((e) => e.dataset.label))].join(),
    nodes: [...new Set([...document.querySelectorAll("#tree-box .picked")].map((e) => e.dataset.label))].join(),
  }));
}

// The derivation tree: drawn with the leaves spelling the sentence left to
// right and no two nodes of a row overlapping, its root the start symbol's,
// a node for every step; the same tree as a list; each rule's node reached
// by the arrow keys from the one Tab reaches, and Enter or a click on a
// node marks its rule as a step's label does; a tree too large to draw says
// so, and Save tree writes every node of it, one a line.
// The tree as drawn: what its leaves spell left to right, the nodes that
// overlap another of their row, its root's name and whether the root is in
// view, its rules' nodes, the derivation's steps, the list's items, the
// tree's nodes and the list's first item.
async function drawnTree(page) {
  return page.evaluate(() => {
    const nodes = [...document.querySelectorAll("#tree-box g.node")].map((g) => {
      const box = g.getBoundingClientRect();
      return { rule: g.classList.contains("rule"), empty: g.classList.contains("empty"),
        text: g.textContent, name: g.getAttribute("aria-label"), left: box.left, right: box.right,
        top: Math.round(box.top) };
    });
    const leaves = nodes.filter((n) => !n.rule && !n.empty).sort((a, b) => a.left - b.left);
    const overlaps = nodes.filter((a) => nodes.some((b) => a !== b && a.top === b.top &&
      a.left < b.right && b.left < a.right)).length;
    const view = document.getElementById("tree-box").getBoundingClientRect();
    return { spelt: leaves.map((n) => n.text).join(""), overlaps, root: nodes[0].name,
      rootInView: nodes[0].left >= view.left && nodes[0].right <= view.right,
      rules: nodes.filter((n) => n.rule).length, steps: window.sentgen.derivation().count,
      items: document.querySelectorAll("#tree-list li").length, nodes: window.sentgen.tree().nodes,
      first: document.querySelector("#tree-list li").firstChild.textContent };
  });
}

async function checkTree(page, sourceDir) {
  await loadAndRun(page, Buffer.from("E -> E+T\nE -> T\nT -> T*F\nT -> F\nF -> (E)\nF -> a\n"));
  await openSentence(page, "(a)+a");
  const drawn = await drawnTree(page);
  check(drawn.spelt === "(a)+a" && drawn.overlaps === 0 && drawn.root === "E 0:0, step 1" &&
    drawn.rules === drawn.steps && drawn.items === drawn.nodes && drawn.nodes === 14 &&
    drawn.first === "E, rule 0:0", `the tree of (a)+a, drawn and as a list: ${JSON.stringify(drawn)}`);

  // Tab from Save tree reaches the tree's root; the arrows reach every
  // rule's node from there.
  await page.focus("#tree-save");
  await page.keyboard.press("Tab");
  const entered = await page.evaluate(() => document.activeElement.dataset.node);
  check(entered === "0", `Tab reaches the tree's root (${entered})`);
  const reached = new Set(["0"]);
  const todo = ["0"];
  const moves = [];
  while (todo.length > 0) {
    const from = todo.pop();
    for (const key of ["ArrowDown", "ArrowRight", "ArrowLeft", "ArrowUp"]) {
      await focusNode(page, from);
      await page.keyboard.press(key);
      const to = await page.evaluate(() => document.activeElement.dataset.node);
      moves.push(`${from}${key.slice(5, 6)}${to}`);
      if (to !== undefined && !reached.has(to)) {
        reached.add(to);
        todo.push(to);
      }
    }
  }
  check(reached.size === drawn.rules, `the arrow keys reach every rule's node: ${moves.join(" ")}`);
  await focusNode(page, "0");
  await page.keyboard.press("ArrowDown");
  await page.keyboard.press("ArrowRight");
  const path1 = await page.evaluate(() => document.activeElement.getAttribute("aria-label"));
  await page.keyboard.press("End");
  const last = await page.evaluate(() => document.activeElement.getAttribute("aria-label"));
  check(path1 === "T 1:1, step 8" && last === "F 2:1, step 9",
    `Down and Right go to the root's first child's neighbour, End to the last step: ${path1}, ${last}`);
  await page.keyboard.press("Home");
  await page.keyboard.press("ArrowDown");
  await page.keyboard.press("Enter");
  const byKey = await markedRule(page);
  check(JSON.stringify(byKey) === JSON.stringify({ listing: "0:1", editor: "2", steps: "0:1", nodes: "0:1" }),
    `Enter on a node marks its rule everywhere: ${JSON.stringify(byKey)}`);

  // By mouse: a node of F -> (E).
  await page.click('#tree-box g.rule[data-label="2:0"]');
  const byMouse = await markedRule(page);
  const focus = await page.evaluate(() => document.activeElement.dataset.label);
  check(JSON.stringify(byMouse) === JSON.stringify({ listing: "2:0", editor: "5", steps: "2:0", nodes: "2:0" }) &&
    focus === "2:0", `a click on a node marks its rule everywhere: ${JSON.stringify(byMouse)}, focus ${focus}`);
  // A step's label marks the tree's nodes too.
  await page.click('#derivation-steps button[data-label="1:1"]');
  const fromStep = await markedRule(page);
  check(fromStep.nodes === "1:1", `a step's label marks the tree's nodes: ${JSON.stringify(fromStep)}`);

  // Near the most that is drawn: 253 nodes, far wider than the pane, its
  // root in view.
  await loadAndRun(page, Buffer.from("S -> AAAAAAAAA\nA -> BBBBBBBBB\nB -> a\xe9\n", "latin1"));
  await openSentence(page, "a\\xe9".repeat(81));
  const wide = await drawnTree(page);
  check(wide.nodes === 253 && wide.items === 253 && wide.overlaps === 0 && wide.rootInView &&
    wide.spelt === "a\\xe9".repeat(81), `a wide tree: ${JSON.stringify({ ...wide, spelt: wide.spelt.length })}`);

  // Too large to draw: the last sentence of reprint, saved as text.
  await loadAndRun(page, fs.readFileSync(path.join(sourceDir, "bench/workloads/reprint/grammar.txt")));
  const sentences = await page.$$eval("#output .sentence", (s) => s.length);
  await page.evaluate((n) => document.querySelector(`#output .sentence[data-n="${n}"]`).click(), sentences - 1);
  await page.waitForFunction((n) => window.sentgen.derivation() &&
    window.sentgen.derivation().n === n, { timeout: 10000 }, sentences - 1);
  const saved = await page.evaluate(async (n) => {
    const about = document.getElementById("tree-about").textContent;
    const drawnNodes = document.querySelectorAll("#tree-box g").length;
    const file = new Promise((resolve) => {
      const click = HTMLAnchorElement.prototype.click;
      HTMLAnchorElement.prototype.click = function saving() {
        HTMLAnchorElement.prototype.click = click;
        resolve({ name: this.download, href: this.href });
      };
    });
    document.getElementById("tree-save").click();
    const { name, href } = await file;
    const lines = (await (await fetch(href)).text()).split("\n").slice(0, -1);
    // A leaf's line has no label; its symbol is a byte, written as the page writes bytes.
    const spelt = lines.map((line) => line.replace(/^ *(\[\d+\] )?/, "")).filter((node) => !node.includes(" "))
      .map((leaf) => (leaf.startsWith("\\x") ? String.fromCharCode(parseInt(leaf.slice(2), 16)) : leaf))
      .join("");
    const sentence = document.querySelector(`#output .sentence[data-n="${n}"]`).textContent;
    return { about, drawnNodes, name, lines: lines.length, first: lines[0], spells: spelt === sentence,
      nodes: Number(/has ([\d,]+) nodes/.exec(about)[1].replace(/,/g, "")) };
  }, sentences - 1);
  check(saved.about.includes("more than the 300") && saved.drawnNodes === 0 &&
    saved.name === `sentgen-tree-${sentences}.txt` && saved.lines === saved.nodes && saved.nodes > 300 &&
    /^N \d+:\d+$/.test(saved.first) && saved.spells,
  `a tree too large to draw is counted and saved whole: ${JSON.stringify(saved)}`);
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
    const seen = await page.evaluate(() => {
      const field = document.getElementById("grammar");
      field.focus();
      field.setSelectionRange(0, 0);
      const start = performance.now();
      document.execCommand("insertText", false, "x");
      document.body.getBoundingClientRect();
      return { keystroke: performance.now() - start, readOnly: field.readOnly,
        note: !document.getElementById("plain-note").hidden };
    });
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

// At 360 px, a click on a sentence cut in half by the pane's bottom edge
// opens it without scrolling the pane.
async function checkCutClick(page) {
  const at = await page.evaluate(() => {
    const pane = document.getElementById("output");
    const line = parseFloat(getComputedStyle(pane).lineHeight);
    scrollTo(0, pane.getBoundingClientRect().top + scrollY - 40);
    pane.scrollTop = 0;
    const sentence = pane.querySelector('.sentence[data-n="12"]');
    pane.scrollTop = Math.round(sentence.getBoundingClientRect().bottom -
      pane.getBoundingClientRect().bottom + line / 2);
    const box = sentence.getBoundingClientRect();
    return { x: box.left + 3, y: box.top + line / 4, scrollTop: pane.scrollTop,
      cut: pane.getBoundingClientRect().bottom - box.top };
  });
  await page.mouse.click(at.x, at.y);
  await page.waitForFunction(() => window.sentgen.derivation() &&
    window.sentgen.derivation().n === 12, { timeout: 10000 });
  const after = await page.evaluate(() => document.getElementById("output").scrollTop);
  check(at.scrollTop > 0 && after === at.scrollTop,
    `a click on a sentence cut by the pane's edge leaves the pane where it was: ${JSON.stringify(at)}, then ${after}`);
}

// The sentence whose derivation is shown stays marked once the pointer has
// left it, and only it.
async function checkSelected(page, what) {
  await page.mouse.move(1, 1);
  const marked = await page.evaluate(() => {
    const current = [...document.querySelectorAll("#output [aria-current]")];
    const n = window.sentgen.derivation().n;
    const other = document.querySelector(`#output .sentence[data-n="${n === 3 ? 4 : 3}"]`);
    return { current: current.map((s) => s.dataset.n), n,
      band: current.length > 0 && getComputedStyle(current[0]).backgroundColor !==
        getComputedStyle(other).backgroundColor };
  });
  check(marked.current.join() === String(marked.n) && marked.band,
    `the shown derivation's sentence is marked in the output (${what}): ${JSON.stringify(marked)}`);
}

// axe-core on the page as it stands: no violation of any rule it checks,
// colour contrast among them.
async function checkAccessibility(page, what) {
  await page.addScriptTag({ path: require.resolve("axe-core/axe.min.js") });
  const violations = await page.evaluate(async () => {
    const found = await axe.run(document, { resultTypes: ["violations"] });
    return found.violations.map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(" ")).join(", ")}`);
  });
  check(violations.length === 0, `axe-core at ${what}: ${violations.join(" | ")}`);
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
      "makeOutputView", "makeRunner", "makeDerivationView", "makeTreeView", "makeAddress"]
      .filter((name) => (0, eval)(`typeof ${name}`) !== "undefined"));
    check(globals.length === 0, `the page's parts are not its globals: ${globals.join(", ")}`);
    const times = [];
    let cases = 0;
    for (const c of pageCases(sourceDir).filter((each) => each.usable)) {
      c.grammar = fs.readFileSync(path.join(c.dir, "grammar.txt"));
      const milliseconds = await checkCase(page, c);
      cases += 1;
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
      await shot.close();
    }
    check(consoleErrors.length === 0, `no console errors: ${consoleErrors.join(" | ")}`);
    console.log(`web.browser in ${browserName} (${await browser.version()}): ${cases} cases; ` +
      `${failures === 0 ? "all passed" : `${failures} failed`}; ${((Date.now() - started) / 1000).toFixed(0)} s`);
  } finally {
    for (const each of launched) await each.close();
  }
  process.exitCode = failures > 0 ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
