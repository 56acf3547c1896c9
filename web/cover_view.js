// SPDX-License-Identifier: MIT
// Cover every rule: a few shortest sentences that together use every rule
// a sentence can use, each a button that shows its derivation; the rules
// left out because their sentences would be too long are named.
"use strict";

// `elements`: button, about, list. `appendBytes(parent, bytes)`. `ask()`:
// has the covering set made, told back by shown(). `onPick(k, line)`: line
// `k` ({sentence, labels}) was picked.
function makeCoverView({ elements, appendBytes, ask, onPick }) {
  const { button, about, list } = elements;
  let lines = [];

  function clear() {
    lines = [];
    list.replaceChildren();
    about.textContent = "";
  }

  button.addEventListener("click", () => {
    clear();
    about.textContent = "finding a covering set\u2026";
    ask();
  });
  list.addEventListener("click", (event) => {
    const line = event.target.closest("button.cover-line");
    if (line) onPick(Number(line.dataset.k), lines[Number(line.dataset.k)]);
  });

  return {
    clear,
    // The covering set came: {loaded, lines, tooLong}.
    shown(answer) {
      if (!answer.loaded) {
        about.textContent = "No covering set: grammar.txt was rejected.";
        return;
      }
      lines = answer.lines;
      list.replaceChildren(...lines.map((line, k) => {
        const item = document.createElement("li");
        const pick = item.appendChild(Object.assign(document.createElement("button"),
          { type: "button", className: "cover-line", title: "show its derivation" }));
        pick.dataset.k = String(k);
        const code = pick.appendChild(document.createElement("code"));
        if (line.sentence.length === 0) code.append(Object.assign(document.createElement("span"),
          { className: "empty", textContent: "\u00b7", title: "the empty string" }));
        appendBytes(code, line.sentence);
        return item;
      }));
      // Past 2^53 a count is held only to some digits.
      const bytesOf = (n) => (n <= Number.MAX_SAFE_INTEGER ? n.toLocaleString("en") : `some ${n.toPrecision(3)}`);
      const left = answer.tooLong.map((out) => `${out.label} (its shortest sentence has ${bytesOf(out.length)} bytes)`);
      about.textContent = `${lines.length} ${lines.length === 1 ? "sentence uses" : "sentences use"} ` +
        "every rule a sentence can use" + (left.length === 0 ? "." :
        ` but ${left.length === 1 ? "one, left out for length" : `${left.length}, left out for length`}: ` +
          `${left.join(", ")}.`);
    },
    stopped(why) {
      about.textContent = `No covering set: ${why}.`;
    },
    select(k) {
      for (const old of list.querySelectorAll("[aria-current]")) old.removeAttribute("aria-current");
      const line = k === null ? null : list.querySelector(`button[data-k="${k}"]`);
      if (line) line.setAttribute("aria-current", "true");
    },
    focusLine(k) {
      const line = list.querySelector(`button[data-k="${k}"]`);
      if (line) line.focus();
    },
  };
}
