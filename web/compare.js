// SPDX-License-Identifier: MIT
// The comparison with another grammar: typed, opened from a file or an
// example; the strings only one of the two derives, shortest first, under
// a heading each, and the length up to which every string was checked.
// Each difference is a button that shows its derivation in the grammar
// that derives it.
"use strict";

// `elements`: field (the other grammar's text area), examples, load, open,
// file, about, said (what was said of the other grammar), differences (the
// two lists under their headings, hidden without another grammar), lists
// (the two lists: only in grammar.txt, only in the other grammar). `bytes`:
// bytes.js. `examples`: {name, text}. `appendBytes(parent, bytes)`.
// `ask(other)`: compares with the other grammar's bytes, told back by
// compared(). `onEdit()`: the other grammar changed. `onPick(side, text)`:
// difference `text` of side 0 or 1 was picked.
function makeCompareView({ elements, bytes, examples, appendBytes, ask, onEdit, onPick }) {
  const { field, about, said, differences, lists } = elements;
  const DEBOUNCE_MS = 300;
  let timer = 0;
  let found = [[], []];  // the differences shown, bytes

  function differenceButton(side, k, text) {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "difference";
    button.dataset.side = String(side);
    button.dataset.k = String(k);
    const code = button.appendChild(document.createElement("code"));
    if (text.length === 0) code.append(Object.assign(document.createElement("span"),
      { className: "empty", textContent: "\u00b7", title: "the empty string" }));
    appendBytes(code, text);
    button.title = `show its derivation in ${side === 0 ? "grammar.txt" : "the other grammar"}`;
    return button;
  }

  function show(lines, words) {
    lists.forEach((list, side) => {
      const items = (lines[side] || []).map((text, k) => {
        const item = document.createElement("li");
        item.append(differenceButton(side, k, text));
        return item;
      });
      if (items.length === 0 && words === null) {
        items.push(Object.assign(document.createElement("li"), { className: "none", textContent: "none found" }));
      }
      list.replaceChildren(...items);
    });
  }

  // Compares again: after an edit of either grammar.
  function compare() {
    clearTimeout(timer);
    found = [[], []];
    said.hidden = true;
    differences.hidden = field.value === "";
    if (field.value === "") {
      about.textContent = "Type a grammar here, open one or load an example, to compare grammar.txt with it.";
      show(found, "");
      return;
    }
    about.textContent = "comparing\u2026";
    show(found, "");
    ask(bytes.textToBytes(field.value));
  }

  function load(text) {
    field.value = bytes.bytesToText(text);
    compare();
  }

  for (const example of examples) {
    elements.examples.append(Object.assign(document.createElement("option"),
      { value: example.name, textContent: example.name }));
  }
  elements.load.addEventListener("click", () => {
    const example = examples.find((e) => e.name === elements.examples.value);
    if (example) {
      load(new TextEncoder().encode(example.text));
      onEdit();
    }
  });
  elements.open.addEventListener("click", () => elements.file.click());
  elements.file.addEventListener("change", async (event) => {
    const file = event.target.files[0];
    if (file) {
      load(new Uint8Array(await file.arrayBuffer()));
      onEdit();
    }
    event.target.value = "";
  });
  field.addEventListener("input", () => {
    clearTimeout(timer);
    timer = setTimeout(compare, DEBOUNCE_MS);
    onEdit();
  });
  for (const list of lists) {
    list.addEventListener("click", (event) => {
      const button = event.target.closest("button.difference");
      if (button) onPick(Number(button.dataset.side), found[button.dataset.side][button.dataset.k]);
    });
  }

  return {
    compare,
    // A comparison's answer: {status, only, checked, said}.
    compared(answer) {
      const told = new TextDecoder().decode(answer.said);
      said.hidden = told === "";
      said.textContent = told;
      if (answer.status !== "compared") {
        about.textContent = answer.status === "rejected" ? "Not compared: grammar.txt was rejected." :
          answer.status === "other rejected" ? "Not compared: the other grammar was rejected." :
            "Not compared: memory ran out.";
        show([[], []], "");
        return;
      }
      found = answer.only;
      const n = answer.checked;
      about.textContent = `checked all strings up to length ${n.toLocaleString("en")}` +
        (found[0].length + found[1].length === 0 ? ": no difference." : ".");
      show(found, null);
    },
    stopped(why) {
      about.textContent = why === "stopped" ? "Not compared: stopped." : `Not compared: ${why}.`;
    },
    // Marks difference `k` of `side` as the one whose derivation is shown;
    // null: none.
    select(side, k) {
      for (const list of lists) {
        for (const old of list.querySelectorAll("[aria-current]")) old.removeAttribute("aria-current");
      }
      const button = side === null ? null : lists[side].querySelector(`button[data-k="${k}"]`);
      if (button) button.setAttribute("aria-current", "true");
    },
    indexOf: (side, text) => found[side].indexOf(text),
    focusDifference(side, k) {
      const button = lists[side].querySelector(`button[data-k="${k}"]`);
      if (button) button.focus();
    },
    bytes: () => bytes.textToBytes(field.value),
    setBytes(text) {
      field.value = bytes.bytesToText(text);
    },
  };
}
