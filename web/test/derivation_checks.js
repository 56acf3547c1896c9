// SPDX-License-Identifier: MIT
// The browser tests of derivations and their trees: a sentence opens its
// derivation by mouse and by keyboard and stays marked; a rule's label or
// node marks its rule; a long derivation is shortened; the tree is drawn,
// listed, moved through by keyboard, and saved.
"use strict";

const fs = require("fs");
const path = require("path");
const { check, loadAndRun, clickLineStart, focusNode } = require("./page_driver.js");

// The search's summary line after a run of `grammar`.
async function summaryOf(page, grammar) {
  await loadAndRun(page, Buffer.from(grammar));
  return page.$eval("#summary", (p) => p.textContent);
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

// Opens the derivation of the sentence that reads `text`, by mouse.
async function openSentence(page, text) {
  const n = await page.$$eval("#output .sentence", (all, want) =>
    all.findIndex((s) => s.textContent === want), text);
  await clickLineStart(page, n);
  await page.waitForFunction((want) => window.sentgen.derivation() &&
    window.sentgen.derivation().n === want, { timeout: 10000 }, n);
  return n;
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

// The derivation tree: drawn with the leaves spelling the sentence left to
// right and no two nodes of a row overlapping, its root the start symbol's,
// a node for every step; the same tree as a list; each rule's node reached
// by the arrow keys from the one Tab reaches, and Enter or a click on a
// node marks its rule as a step's label does; a tree too large to draw says
// so, and Save tree writes every node of it, one a line.
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

module.exports = { checkDerivations, checkCutClick, checkSelected, checkTree, drawnTree };
