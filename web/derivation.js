// SPDX-License-Identifier: MIT
// The derivation view: a sentence's steps from the start symbol, as the
// engine replays them in the worker, each form with the rule's text marked
// and the nonterminal the next step replaces underlined; a rule's label
// marks its line in the listing and in the editor. A long derivation shows
// its first and last steps; Save has them all. The sentence is one the
// run printed, whose search step links to the step view, or a string the
// decider was asked of, which may be no sentence: the view then says so.
"use strict";

// `elements`: section, title, about, steps (the list), save, close.
// `appendBytes(parent, bytes)`: writes bytes as the panes do. `onPick(
// label)`: a step's rule `label` was picked. `onSave(blob, name)`: saves
// the steps as a file. `onClose(message)`: Close was pressed on the view
// of the derivation `message`. `onStep(step)`: the search step that took a
// run's sentence out was picked.
function makeDerivationView({ elements, appendBytes, onPick, onSave, onClose, onStep }) {
  const { section, title, about, steps, save, close } = elements;
  let derivation = null;  // the derivation shown: the worker's message

  // A step's form: `…` where it is cut, the rule's text marked (a dot for
  // the empty string), and the byte at `next` (the nonterminal the next
  // step replaces) underlined.
  function formCode(step, next) {
    const code = document.createElement("code");
    code.className = "form";
    const text = step.text;
    const cut = (count) => code.append(Object.assign(document.createElement("span"),
      { className: "cut", textContent: "\u2026", title: `${count.toLocaleString("en")} bytes not shown` }));
    if (step.start > 0) cut(step.start);
    // Offsets into `text`: the rule's text, and the underlined byte.
    const from = step.index === 0 ? -1 : step.at - step.start;
    const to = from + step.inserted;
    const under = next >= 0 ? next - step.start : -1;
    const bounds = [...new Set([0, from, to, under, under + 1, text.length])]
      .filter((x) => x >= 0 && x <= text.length).sort((x, y) => x - y);
    const empty = () => Object.assign(document.createElement("mark"),
      { className: "empty", textContent: "\u00b7", title: "the empty string" });
    for (let k = 0; k + 1 < bounds.length; k += 1) {
      const [a, b] = [bounds[k], bounds[k + 1]];
      if (a === from && from === to) code.append(empty());
      let part = code;
      if (a >= from && b <= to) part = code.appendChild(document.createElement("mark"));
      if (a === under) {
        part = part.appendChild(Object.assign(document.createElement("u"), { title: "replaced next" }));
      }
      appendBytes(part, text.subarray(a, b));
    }
    if (from === text.length && from === to) code.append(empty());
    const rest = step.length - step.start - text.length;
    if (rest > 0) cut(rest);
    return code;
  }

  // One step of the list: its rule's label, a button, and its form.
  function stepItem(s, next) {
    const item = document.createElement("li");
    item.value = s.index;
    if (s.label) {
      const rule = document.createElement("button");
      rule.type = "button";
      rule.className = "rule-label";
      rule.dataset.label = s.label;
      rule.textContent = s.label;
      rule.title = `rule ${s.label}: mark its line`;
      item.append(rule);
    } else {
      item.append(Object.assign(document.createElement("span"),
        { className: "rule-label", textContent: "start" }));
    }
    item.append(formCode(s, next));
    return item;
  }

  // Whose derivation it is, in words: sentence n of the run, or a string
  // decided in a grammar, picked from the test strings, a comparison or a
  // covering set.
  function whose(message) {
    if (message.kind === "run") return `sentence ${message.n + 1} of this run`;
    const quoted = document.createDocumentFragment();
    quoted.append("\u201c", Object.assign(document.createElement("code"), { className: "form" }));
    appendBytes(quoted.lastChild, message.string);
    quoted.append(`\u201d${message.from ? `, ${message.from},` : ""}`);
    return quoted;
  }

  function show(message) {
    derivation = message;
    const { count, shown, fits } = message;
    about.replaceChildren(whose(message));
    if (message.verdict) {
      about.append(message.verdict === "not a sentence" ? ` is not a sentence of ${message.grammar}.`
        : ` was not decided: ${message.verdict}.`);
      steps.replaceChildren();
      title.focus();
      return;
    }
    const left = count + 1 - shown.length;
    const steps1 = `${count.toLocaleString("en")} ${count === 1 ? "step" : "steps"}`;
    if (!fits) {
      about.append(": its derivation did not replay");
    } else if (message.kind === "run") {
      about.append(`: ${steps1} from the start symbol; taken off the stack at `,
        Object.assign(document.createElement("button"), { type: "button", className: "step-link",
          textContent: `search step ${message.step.toLocaleString("en")}`, title: "show this step of the search" }), ".");
    } else {
      about.append(` is a sentence of ${message.grammar}: ${steps1} from the start symbol, ` +
        `the decider's derivation${message.of ? `; ${message.of}` : ""}.`);
    }
    if (fits && left > 0) about.append(` The first and last ${shown.length / 2} steps are shown; Save has them all.`);
    const list = document.createDocumentFragment();
    shown.forEach((s, k) => {
      if (k > 0 && s.index > shown[k - 1].index + 1) {
        const gap = document.createElement("li");
        gap.className = "gap";
        gap.textContent = `\u2026 ${(s.index - shown[k - 1].index - 1).toLocaleString("en")} ` +
          "steps left out \u2026";
        list.append(gap);
      }
      const following = shown[k + 1];
      list.append(stepItem(s, following && following.index === s.index + 1 ? following.at : -1));
    });
    steps.replaceChildren(list);
    section.hidden = false;
    title.focus();
  }

  // Marks rule `label`'s step labels; null: none.
  function markRule(label) {
    for (const old of steps.querySelectorAll(".picked")) old.classList.remove("picked");
    if (label === null) return;
    for (const button of steps.querySelectorAll(`[data-label="${label}"]`)) {
      button.classList.add("picked");
    }
  }

  // Says what is on its way, or why nothing is.
  function say(text) {
    section.hidden = false;
    about.textContent = text;
    steps.replaceChildren();
  }


  steps.addEventListener("click", (event) => {
    const rule = event.target.closest("button.rule-label");
    if (rule) onPick(rule.dataset.label);
  });
  about.addEventListener("click", (event) => {
    if (event.target.closest("button.step-link") && derivation) onStep(derivation.step);
  });
  save.addEventListener("click", () => {
    if (derivation && derivation.text) {
      onSave(derivation.text, `sentgen-derivation${derivation.kind === "run" ? `-${derivation.n + 1}` : ""}.txt`);
    }
  });
  close.addEventListener("click", () => onClose(derivation));

  return {
    show,
    markRule,
    hide() {
      derivation = null;
      section.hidden = true;
    },
    // The file's line of rule `label`; 0: none known.
    lineOf: (label) => (derivation && derivation.ruleLines[label]) || 0,
    waiting: (n) => say(`sentence ${n + 1}: replaying\u2026`),
    // A derivation not of the run is on its way, or was stopped: `words`.
    say,
    unavailable: (n) => say(`sentence ${n + 1}: derivations come with a finished run; this one ` +
      "was stopped. Ctrl+Enter runs the grammar again."),
    current: () => derivation,
  };
}
