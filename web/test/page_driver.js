// SPDX-License-Identifier: MIT
// Driving the page in a browser, for the browser tests: checks that count
// their failures, waiting for a run, the bytes of the editor and of a
// pane, clicks and focus where puppeteer's own would not do, axe-core.
"use strict";

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

// The milliseconds of the quickest of three keystrokes of `text` at the
// start of the field `id`, drawn: what the page does for one, without the
// pauses that a machine busy with other tests adds to a single try.
async function quickestKeystroke(page, id, text) {
  return page.evaluate((fieldId, typed) => {
    const field = document.getElementById(fieldId);
    field.focus();
    let quickest = Infinity;
    for (let i = 0; i < 3; i += 1) {
      field.setSelectionRange(0, 0);
      const start = performance.now();
      document.execCommand("insertText", false, typed);
      document.body.getBoundingClientRect();
      quickest = Math.min(quickest, performance.now() - start);
    }
    return quickest;
  }, id, text);
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

// Focuses the tree's node `node`; puppeteer focuses HTML elements only.
async function focusNode(page, node) {
  await page.evaluate((n) => document.querySelector(`#tree-box g[data-node="${n}"]`).focus(), node);
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

module.exports = { check, failures: () => failures, waitForRun, runCount, loadAndRun, editorBytes,
  quickestKeystroke, paneBytes, clickLineStart, focusNode, checkAccessibility };
