// SPDX-License-Identifier: MIT
// The test strings box: one string a line, read as sentgen-test reads its
// file, each decided in the checker's worker as you type and marked, in
// words and in colour, as a sentence or not; each line is a button that
// shows the string's derivation, or says plainly that it has none.
"use strict";

// The strings of `bytes`, as sentgen-test reads them: LF or CR LF ends a
// line, the last line may lack its end, an empty line is the empty string.
function testLines(bytes) {
  const lines = [];
  let start = 0;
  for (let i = bytes.indexOf(0x0a); i !== -1; i = bytes.indexOf(0x0a, start)) {
    lines.push(bytes.subarray(start, i > start && bytes[i - 1] === 0x0d ? i - 1 : i));
    start = i + 1;
  }
  if (start < bytes.length) lines.push(bytes.subarray(start));
  return lines;
}

// `elements`: field (the text area), list (the strings' buttons), about.
// `bytes`: bytes.js. `appendBytes(parent, bytes)`: writes bytes as the panes
// do. `ask(lines)`: has `lines` decided, each told back by decided().
// `onEdit()`: the text changed. `onPick(k, line)`: line `k` was picked:
// {text, verdict, labels}.
function makeTestStrings({ elements, bytes, appendBytes, ask, onEdit, onPick }) {
  const { field, list, about } = elements;
  const DEBOUNCE_MS = 250;
  const MOST_LINES = 500;  // strings decided and listed; the rest are counted
  const WORDS = { sentence: "sentence", "not a sentence": "not a sentence",
    rejected: "not decided: grammar.txt was rejected", "too long": "not decided: too long",
    "out of memory": "not decided: out of memory", stopped: "not decided: stopped",
    waiting: "deciding\u2026" };
  let lines = [];  // each {text, verdict, labels}
  let more = 0;    // lines past MOST_LINES
  let timer = 0;

  function verdictSpan(verdict) {
    return Object.assign(document.createElement("span"), { className: "verdict", textContent: WORDS[verdict] });
  }

  function draw() {
    const items = document.createDocumentFragment();
    lines.forEach((line, k) => {
      const button = document.createElement("button");
      button.type = "button";
      button.className = "test-line";
      button.dataset.k = String(k);
      button.dataset.verdict = line.verdict;
      const text = button.appendChild(document.createElement("code"));
      if (line.text.length === 0) text.append(Object.assign(document.createElement("span"),
        { className: "empty", textContent: "\u00b7", title: "the empty string" }));
      appendBytes(text, line.text);
      button.append(verdictSpan(line.verdict));
      const item = document.createElement("li");
      item.append(button);
      items.append(item);
    });
    list.replaceChildren(items);
    tell();
  }

  // How far the decisions are.
  function tell() {
    const count = (verdict) => lines.filter((line) => line.verdict === verdict).length;
    const waiting = count("waiting");
    about.textContent = lines.length === 0 ? "No strings to test: type one a line." :
      `${lines.length} ${lines.length === 1 ? "string" : "strings"}: ${count("sentence")} ` +
      `${count("sentence") === 1 ? "is a sentence" : "are sentences"}, ${count("not a sentence")} not` +
      (waiting > 0 ? `, ${waiting} being decided` : "") +
      (more > 0 ? `; ${more.toLocaleString("en")} more lines not decided (at most ${MOST_LINES})` : "") + ".";
  }

  // Decides the box's strings again: after an edit, or in a new grammar.
  function decide() {
    clearTimeout(timer);
    const all = testLines(bytes.textToBytes(field.value));
    more = Math.max(0, all.length - MOST_LINES);
    lines = all.slice(0, MOST_LINES).map((text) => ({ text: text.slice(), verdict: "waiting", labels: null }));
    draw();
    if (lines.length > 0) ask(lines.map((line) => line.text));
  }

  field.addEventListener("input", () => {
    clearTimeout(timer);
    timer = setTimeout(decide, DEBOUNCE_MS);
    onEdit();
  });
  list.addEventListener("click", (event) => {
    const button = event.target.closest("button.test-line");
    if (button) onPick(Number(button.dataset.k), lines[Number(button.dataset.k)]);
  });

  return {
    decide,
    // Line `k`'s verdict came, with its derivation's labels.
    decided(k, verdict, labels) {
      if (!lines[k]) return;
      lines[k].verdict = verdict;
      lines[k].labels = labels;
      const button = list.querySelector(`button[data-k="${k}"]`);
      button.dataset.verdict = verdict;
      button.querySelector(".verdict").replaceWith(verdictSpan(verdict));
      tell();
    },
    // The decisions still waiting will not come.
    stopped() {
      lines.forEach((line, k) => {
        if (line.verdict === "waiting") this.decided(k, "stopped", null);
      });
    },
    // Marks line `k` as the one whose derivation is shown; null: none.
    select(k) {
      for (const old of list.querySelectorAll("[aria-current]")) old.removeAttribute("aria-current");
      const button = k === null ? null : list.querySelector(`button[data-k="${k}"]`);
      if (button) button.setAttribute("aria-current", "true");
    },
    focusLine(k) {
      const button = list.querySelector(`button[data-k="${k}"]`);
      if (button) button.focus();
    },
    // The box's bytes, for the address, and put back from it.
    bytes: () => bytes.textToBytes(field.value),
    setBytes(text) {
      field.value = bytes.bytesToText(text);
    },
  };
}

if (typeof module !== "undefined") module.exports = { testLines };
