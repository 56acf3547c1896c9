// SPDX-License-Identifier: MIT
// The browser tests of what the page asks of a grammar outside its run:
// the test strings, decided and marked in words, their derivations and
// trees, stopped, kept in the address; the comparison with another
// grammar; the step view, its controls and keys, and the time of the last
// step of the longest run; the rules the sentences used; the covering set.
"use strict";

const fs = require("fs");
const path = require("path");
const { check, loadAndRun, quickestKeystroke } = require("./page_driver.js");
const { drawnTree } = require("./derivation_checks.js");

// Puts `text` in the text area `id` as typing would, and lets it be read.
async function setBox(page, id, text) {
  await page.evaluate((boxId, value) => {
    const box = document.getElementById(boxId);
    box.value = value;
    box.dispatchEvent(new Event("input", { bubbles: true }));
  }, id, text);
}

// Waits until the checker has answered all it was asked.
async function settled(page, timeout = 20000) {
  await new Promise((done) => setTimeout(done, 400));  // past the boxes' quiet time
  await page.waitForFunction(() => !window.sentgen.checking() &&
    !document.querySelector('#test-results [data-verdict="waiting"]'), { timeout, polling: 20 });
}

async function openedBy(page, click, test) {
  await page.click(click);
  await page.waitForFunction(test, { timeout: 10000, polling: 20 });
}

const aboutText = (page) => page.$eval("#derivation-about", (p) => p.textContent);

// The test strings: read as sentgen-test reads them, marked in words and
// colour; a printed sentence shows the run's derivation, any other the
// decider's, with its tree; a string that is not a sentence says so; the
// keyboard reaches them; a long decision does not hold up typing and is
// stopped by Escape; the address keeps them.
async function checkTestStrings(page, open) {
  await loadAndRun(page, Buffer.from("S -> aSb\nS -> @\n"));
  const long = `${"a".repeat(25)}${"b".repeat(25)}`;
  // \uf70d is the editor's CR: "aabb" ends with CR LF.
  await setBox(page, "tests", `aabb\uf70d\nab\naab\n\n${long}\nzz`);
  await settled(page);
  const lines = await page.$$eval("#test-results button", (all) => all.map((b) => ({
    verdict: b.dataset.verdict, words: b.querySelector(".verdict").textContent,
    text: b.querySelector("code").textContent, colour: getComputedStyle(b.querySelector(".verdict")).color })));
  check(lines.map((l) => l.words).join() === "sentence,sentence,not a sentence,sentence,sentence,not a sentence" &&
    lines[0].text === "aabb" && lines[3].text === "\u00b7" && lines[0].colour !== lines[2].colour,
  `the test strings, decided and marked in words and colour: ${JSON.stringify(lines)}`);

  await openedBy(page, '#test-results button[data-k="0"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().n === 2);
  const run = await page.evaluate(() => ({
    output: [...document.querySelectorAll("#output [aria-current]")].map((s) => s.dataset.n).join(),
    box: [...document.querySelectorAll("#test-results [aria-current]")].map((s) => s.dataset.k).join() }));
  const printed = await aboutText(page);
  const ownTree = await drawnTree(page);
  check(printed.startsWith("sentence 3 of this run: 3 steps") && run.output === "2" && run.box === "0" &&
    ownTree.spelt === "aabb", `a printed string shows the run's derivation: ${printed} ${JSON.stringify(run)}`);

  await openedBy(page, '#test-results button[data-k="4"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().kind === "decided" && window.sentgen.derivation().count === 26);
  const decided = await aboutText(page);
  const tree = await drawnTree(page);
  check(decided.includes("is a sentence of grammar.txt: 26 steps") && decided.includes("the decider's derivation") &&
    tree.spelt === long && tree.overlaps === 0, `another sentence shows the decider's derivation: ${decided}`);

  await openedBy(page, '#test-results button[data-k="2"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().verdict === "not a sentence");
  const not = await page.evaluate(() => ({ about: document.getElementById("derivation-about").textContent,
    tree: !document.getElementById("tree-box").hidden, steps: document.querySelectorAll("#derivation-steps li").length }));
  check(not.about === "\u201caab\u201d, test string 3, is not a sentence of grammar.txt." && !not.tree && not.steps === 0,
    `a string that is not a sentence says so plainly: ${JSON.stringify(not)}`);

  // By keyboard, and Close gives the focus back to the string.
  await page.focus('#test-results button[data-k="1"]');
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => window.sentgen.derivation() && window.sentgen.derivation().n === 1,
    { timeout: 10000 });
  const landed = await page.evaluate(() => document.activeElement.id);
  await page.click("#derivation-close");
  const back = await page.evaluate(() => document.activeElement.dataset.k);
  check(landed === "derivation-title" && back === "1", `a test string by keyboard: ${landed}, back to ${back}`);

  // The address keeps them: the link gives the same strings and verdicts.
  const hash = await page.evaluate(() => location.hash);
  const shared = await open(await page.url());
  await settled(shared);
  const again = await shared.$$eval("#test-results .verdict", (all) => all.map((v) => v.textContent).join());
  const field = await shared.$eval("#tests", (box) => box.value);
  check(/&t=[A-Za-z0-9_-]+/.test(hash) && field === `aabb\uf70d\nab\naab\n\n${long}\nzz` &&
    again === lines.map((l) => l.words).join(), `a link keeps the test strings: ${hash} ${again}`);
  await shared.close();

  // A decision of some seconds: typing goes on, and Escape stops it.
  await loadAndRun(page, Buffer.from("S -> SS\nS -> a\nS -> @\n"));
  await setBox(page, "tests", "a".repeat(2500));
  await new Promise((done) => setTimeout(done, 600));
  // A page that waited for the decision would take seconds a keystroke.
  const typing = { keystroke: await quickestKeystroke(page, "tests", "a"),
    ...await page.evaluate(() => ({ checking: window.sentgen.checking(),
      stop: !document.getElementById("stop").disabled })) };
  await new Promise((done) => setTimeout(done, 500));
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => !window.sentgen.checking(), { timeout: 5000 });
  const stopped = await page.$eval("#test-results .verdict", (v) => v.textContent);
  check(typing.keystroke < 50 && typing.checking && typing.stop && stopped === "not decided: stopped",
    `a long decision holds up no typing, and Escape stops it: ${JSON.stringify(typing)}, ${stopped}`);
  await setBox(page, "tests", "");
}

// The comparison: the differences under their headings, shortest first,
// the length checked; a difference shows its derivation in the grammar
// that derives it; the other grammar's rejection; the address keeps it.
async function checkCompare(page, open) {
  await loadAndRun(page, Buffer.from("S -> aSb\nS -> @\n"));
  await setBox(page, "other", "S -> aS\nS -> @\n");
  await settled(page);
  const seen = await page.evaluate(() => ({
    about: document.getElementById("compare-about").textContent,
    headings: [...document.querySelectorAll("#compare h3")].map((h) => h.textContent).join(),
    only: [0, 1].map((side) => [...document.querySelectorAll(`#only-${side}-list code`)].map((c) => c.textContent)) }));
  const ordered = (list) => list.every((s, k) => k === 0 || s.length >= list[k - 1].length);
  check(/^checked all strings up to length \d+\.$/.test(seen.about) &&
    seen.headings === "only in grammar.txt,only in the other grammar" && seen.only[0][0] === "ab" &&
    seen.only[1].slice(0, 2).join() === "a,aa" && seen.only.every((l) => l.length === 10 && ordered(l)),
  `the differences with another grammar: ${JSON.stringify(seen)}`);
  await setBox(page, "other", "");
  const hidden = await page.waitForFunction(() => !document.getElementById("differences").checkVisibility(),
    { timeout: 5000 }).then(() => true, () => false);
  check(hidden, "no headings of differences without another grammar");
  await setBox(page, "other", "S -> aS\nS -> @\n");
  await settled(page);

  await openedBy(page, '#only-1-list button[data-k="1"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().count === 3);
  const about = await aboutText(page);
  const tree = await drawnTree(page);
  await page.click('#derivation-steps button[data-label="0:0"]');
  const marked = await page.evaluate(() => ({
    listing: document.querySelectorAll("#output .rule.picked").length,
    editor: document.querySelectorAll("#gutter .picked").length,
    steps: document.querySelectorAll("#derivation-steps .picked").length,
    current: document.querySelectorAll("#only-1-list [aria-current]").length }));
  check(about.startsWith("\u201caa\u201d, only in the other grammar, is a sentence of the other grammar") &&
    tree.spelt === "aa" && marked.listing === 0 && marked.editor === 0 && marked.steps > 0 && marked.current === 1,
  `a difference's derivation in the grammar that derives it: ${about} ${JSON.stringify(marked)}`);

  const hash = await page.evaluate(() => location.hash);
  const shared = await open(await page.url());
  await settled(shared);
  const kept = await shared.$eval("#only-1-list code", (c) => c.textContent);
  check(/&c=[A-Za-z0-9_-]+/.test(hash) && kept === "a", `a link keeps the other grammar: ${hash}`);
  await shared.close();

  await setBox(page, "other", "S -> a\nS\n");
  await settled(page);
  const rejected = await page.evaluate(() => ({ about: document.getElementById("compare-about").textContent,
    said: document.getElementById("compare-said").textContent }));
  check(rejected.about === "Not compared: the other grammar was rejected." &&
    rejected.said.startsWith("other grammar:2: "), `a rejected other grammar: ${JSON.stringify(rejected)}`);
  await setBox(page, "other", "");
}

// The step shown: its words, its pending forms' and what it did.
async function stepShown(page, step) {
  await page.waitForFunction((want) => window.sentgen.step() && window.sentgen.step().step === want,
    { timeout: 10000, polling: 20 }, step);
  return page.evaluate(() => ({
    about: document.getElementById("step-about").textContent,
    pending: [...document.querySelectorAll("#step-pending li")].map((li) => li.textContent),
    taken: [...document.querySelectorAll("#step-pending li.taken")].map((li) => li.value).join(),
    did: document.getElementById("step-did").textContent,
    milliseconds: window.sentgen.step().milliseconds }));
}

// The step view: each control and key, the words on what a step did, the
// derivation's link to its step, and the last step of the longest run
// (`longest`: its grammar) in under a second.
async function checkSteps(page, longest) {
  await loadAndRun(page, Buffer.from("S -> aSb\nS -> @\nS -> X\n"));
  await page.click("#open-steps");
  const one = await stepShown(page, 1);
  check(one.pending.join() === "1 byteStaken: the shortest" && one.did.includes("replaced by each alternative in turn") &&
    one.did.includes("0:0 S -> aSb: pushed") && one.did.includes("0:1 S -> @: pushed"),
  `step 1: ${JSON.stringify(one)}`);
  await page.click("#step-next");
  const two = await stepShown(page, 2);
  check(two.pending.length === 3 && two.pending[2] === "1 byte \u2014 its leftmost nonterminal, X, has no rule" &&
    two.taken === "1" && two.did === "printed as sentence 1", `step 2: ${JSON.stringify(two)}`);
  await page.focus("#steps-title");
  await page.keyboard.press("ArrowRight");
  const three = await stepShown(page, 3);
  check(three.did === "dropped: X has no rule", `step 3, by the right arrow: ${JSON.stringify(three)}`);
  const total = await page.evaluate(() => window.sentgen.result().summary.steps);
  await page.keyboard.press("End");
  const last = await stepShown(page, total);
  await page.keyboard.press("Home");
  await stepShown(page, 1);
  await page.click("#step-last");
  await stepShown(page, total);
  await page.click("#step-previous");
  await stepShown(page, total - 1);
  await page.click("#step-first");
  await stepShown(page, 1);
  check(last.about.includes("It is the last: the run ended with twenty sentences."), `the last step: ${last.about}`);

  // By number, and by the sentence it printed.
  await page.evaluate(() => { document.getElementById("step-input").value = ""; });
  await page.focus("#step-input");
  await page.keyboard.type("7");
  await page.keyboard.press("Enter");
  await stepShown(page, 7);
  await page.focus("#sentence-input");
  await page.keyboard.type("3");
  await page.keyboard.press("Enter");
  const steps = await page.evaluate(() => window.sentgen.result().sentenceSteps);
  const third = await stepShown(page, steps[2]);
  check(third.did === "printed as sentence 3", `the step that printed sentence 3: ${JSON.stringify(third)}`);

  // The derivation's step is a link to it.
  await openedBy(page, '#output .sentence[data-n="3"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().n === 3);
  await page.click("#derivation-about .step-link");
  const linked = await stepShown(page, steps[3]);
  const focus = await page.evaluate(() => document.activeElement.id);
  check(linked.did === "printed as sentence 4" && focus === "steps-title", `the derivation's link: ${focus}`);

  // Ties, doomed forms, a full stack.
  const cases = [
    ["S -> A\nS -> B\nA -> a\nB -> b\n", 2, (s) => s.pending[0] === "1 byteAtaken: the lowest slot among the shortest"],
    ["S -> aD\nS -> b\nD -> cD\n", 2, (s) => s.pending[0] === "2 bytesno text kept: it can never become a sentence \u2026D"],
    ["S -> aS\nS -> bS\nS -> cS\nS -> dS\nS -> eS\n", 250,
      (s) => s.pending.length === 997 && s.did.includes("0:1 S -> bS: pushed") && s.did.includes("0:2 S -> cS: refused by a full stack")],
  ];
  for (const [grammar, step, ok] of cases) {
    await loadAndRun(page, Buffer.from(grammar));
    await page.click("#open-steps");
    await stepShown(page, 1);
    await page.evaluate((n) => { document.getElementById("step-input").value = String(n); }, step);
    await page.click("#step-form button");
    const shown = await stepShown(page, step);
    check(ok(shown), `step ${step} of ${JSON.stringify(grammar)}: ${JSON.stringify({ ...shown, pending: shown.pending.slice(0, 3) })}`);
  }

  // The last step of the longest run, replayed in under a second.
  await loadAndRun(page, longest.grammar);
  await page.click("#open-steps");
  await stepShown(page, 1);
  await page.click("#step-last");
  const end = await stepShown(page, longest.steps);
  console.log(`the last step (${longest.steps.toLocaleString("en")}) of ${longest.name}: ${end.milliseconds.toFixed(0)} ms`);
  check(end.milliseconds < 1000 && end.pending.length > 0, `the last step of ${longest.name}: ${end.milliseconds} ms`);
  return end.milliseconds;
}

const COVERAGE_GRAMMAR = "S -> aS\nS -> b\nS -> D\nS -> X\nD -> EEEEEEEEE\nE -> FFFFFFFFF\nF -> c\nT -> t\n";

// The rules the printed sentences used: counted in the summary, marked in
// the listing and the editor, in words as well as colour.
async function checkCoverage(page) {
  await loadAndRun(page, Buffer.from(COVERAGE_GRAMMAR));
  const seen = await page.evaluate(() => ({
    line: document.getElementById("coverage").textContent.replace(/\s+/g, " "),
    listing: [...document.querySelectorAll("#output .rule")].map((r) => `${r.dataset.label}` +
      `${r.classList.contains("unused") ? " unused" : ""}${r.classList.contains("unusable") ? " unusable" : ""}` +
      `${r.title ? ` (${r.title})` : ""}${getComputedStyle(r, "::after").content.includes("\u2190") ? " said" : ""}`),
    editor: window.sentgen.coverage(),
    gutter: document.querySelectorAll("#gutter .n")[2].title,
    band: getComputedStyle(document.querySelector("#output .rule.unused")).backgroundColor !==
      getComputedStyle(document.querySelector("#output .rule.unusable")).backgroundColor }));
  check(seen.line.startsWith("the printed sentences use 2 of the 6 usable rules; 2 rules no sentence can use. " +
    "Marked in the listing and the editor: not used by these sentences no sentence can use this rule"),
  `the coverage line: ${seen.line}`);
  const legend = async () => page.$eval("#coverage", (p) => [".legend", ".key.unused", ".key.unusable"]
    .map((s) => p.querySelector(s).checkVisibility()).join());
  check(await legend() === "true,true,true", `the legend names both marks: ${await legend()}`);
  check(seen.listing.join() === ["0:0", "0:1", "0:2 unused (rule 0:2: not used by these sentences) said",
    "0:3 unusable (rule 0:3: no sentence can use this rule) said", "1:0 unused (rule 1:0: not used by these sentences) said",
    "2:0 unused (rule 2:0: not used by these sentences) said", "3:0 unused (rule 3:0: not used by these sentences) said",
    "4:0 unusable (rule 4:0: no sentence can use this rule) said"].join() && seen.band,
  `the listing's marks: ${JSON.stringify(seen.listing)}`);
  check(JSON.stringify(seen.editor) === JSON.stringify({ 3: "unused", 4: "unusable", 5: "unused", 6: "unused",
    7: "unused", 8: "unusable" }) && seen.gutter === "line 3: not used by these sentences",
  `the editor's marks: ${JSON.stringify(seen.editor)} ${seen.gutter}`);
  // The legend names only the marks there are, and none where every rule is used.
  await loadAndRun(page, Buffer.from("S -> aS\nS -> b\nS -> D\nD -> EEEEEEEEE\nE -> FFFFFFFFF\nF -> c\n"));
  check(await legend() === "true,true,false", `only rules not used: ${await legend()}`);
  await loadAndRun(page, Buffer.from("S -> aSb\nS -> @\n"));
  check(await legend() === "false,false,false", `every rule used: ${await legend()}`);
}

// Cover every rule: the covering set as buttons with their derivations,
// and the rules left out for length named.
async function checkCover(page) {
  await loadAndRun(page, Buffer.from("S -> aSb\nS -> @\n"));
  await page.click("#cover");
  await settled(page);
  const lines = await page.$$eval("#cover-list code", (all) => all.map((c) => c.textContent));
  await openedBy(page, '#cover-list button[data-k="1"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().count === 2);
  const about = await aboutText(page);
  const tree = await drawnTree(page);
  check(lines.join() === "\u00b7,ab" && about.startsWith("\u201cab\u201d, covering sentence 2, is a sentence") &&
    tree.spelt === "ab", `the covering set: ${lines} ${about}`);
  await loadAndRun(page, Buffer.from("S -> A\nA -> BBBBBBBBB\nB -> CCCCCCCCC\nC -> DDDDDDDDD\nD -> EEEEEEEEE\n" +
    "E -> FFFFFFFFF\nF -> GGGGGGGGG\nG -> g\nS -> s\n"));
  await page.click("#cover");
  await settled(page);
  const left = await page.$eval("#cover-about", (p) => p.textContent);
  check(left.startsWith("1 sentence uses every rule a sentence can use but 8, left out for length: " +
    "0:0 (its shortest sentence has 531,441 bytes), 1:0"), `rules left out for length: ${left}`);
}

// The screenshots of these parts, and axe-core with them open: a tested
// string's tree, the comparison, the step view, the coverage marks.
async function toolScreens(page, dir, width, scheme, checkAccessibility) {
  await loadAndRun(page, Buffer.from(COVERAGE_GRAMMAR));
  await setBox(page, "tests", `b\nab\n${"a".repeat(21)}b\nba`);
  await setBox(page, "other", "S -> aS\nS -> b\nS -> c\n");
  await settled(page);
  await page.screenshot({ path: path.join(dir, `coverage-${width}-${scheme}.png`), fullPage: true });
  await openedBy(page, '#test-results button[data-k="2"]', () => window.sentgen.derivation() &&
    window.sentgen.derivation().kind === "decided");
  await (await page.$("#derivation")).screenshot({ path: path.join(dir, `test-string-tree-${width}-${scheme}.png`) });
  await (await page.$("#compare")).screenshot({ path: path.join(dir, `compare-${width}-${scheme}.png`) });
  await page.click("#open-steps");
  await stepShown(page, 1);
  await page.click("#step-next");
  await stepShown(page, 2);
  await checkAccessibility(page, `${width} px, ${scheme}, test strings, a comparison, steps and coverage`);
  await (await page.$("#steps")).screenshot({ path: path.join(dir, `steps-${width}-${scheme}.png`) });
}

module.exports = { checkTestStrings, checkCompare, checkSteps, checkCoverage, checkCover, toolScreens };
