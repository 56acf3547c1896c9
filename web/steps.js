// SPDX-License-Identifier: MIT
// The step view: the search of the grammar in the editor, one step at a
// time, as the engine replays it on demand (no stack is kept): the forms
// pending before the step, in slot order, which one it takes and why, and
// what it did with it. First, previous, next, last, a step by its number,
// the step that printed a sentence; the arrow keys, Home and End too.
"use strict";

// `elements`: section, title, about, first, previous, next, last,
// stepForm, stepInput, sentenceForm, sentenceInput, pending (the list),
// did. `appendBytes(parent, bytes)`. `ask(step)`: has step `step` replayed,
// told back by shown(). `onClose()`.
function makeStepView({ elements, appendBytes, ask, onClose }) {
  const { section, title, about, pending, did } = elements;
  let run = null;      // the finished run stepped through: {steps, sentences: their steps, why}
  let step = 0;        // the step shown or asked for
  let asked = 0;       // when it was asked, for the time it took
  let current = null;  // the step shown: {step, milliseconds, told}
  const count = (n) => n.toLocaleString("en");
  const span = (className, textContent) => Object.assign(document.createElement("span"),
    { className, textContent });

  // A form's text as kept: `…` where it is cut, counting what is left out,
  // its leftmost nonterminal underlined.
  function formCode(form) {
    const code = document.createElement("code");
    code.className = "form";
    const cut = (n) => code.append(Object.assign(span("cut", "\u2026"), { title: `${count(n)} bytes not shown` }));
    if (form.start > 0) cut(form.start);
    const at = form.leftmostAt - form.start;
    if (at >= 0 && at < form.text.length) {
      appendBytes(code, form.text.subarray(0, at));
      const under = code.appendChild(Object.assign(document.createElement("u"), { title: "its leftmost nonterminal" }));
      appendBytes(under, form.text.subarray(at, at + 1));
      appendBytes(code, form.text.subarray(at + 1));
    } else {
      appendBytes(code, form.text);
    }
    if (form.text.length === 0 && form.length === 0) code.append(span("empty", "\u00b7"));
    const rest = form.length - form.start - form.text.length;
    if (rest > 0) cut(rest);
    return code;
  }

  // The words on why slot `taken` is taken: the shortest, or the lowest
  // slot of the shortest.
  function why(forms, taken) {
    const tied = forms.some((form) => form.slot !== taken && form.length === forms[taken].length);
    return tied ? "taken: the lowest slot among the shortest" : "taken: the shortest";
  }

  function pendingItem(form, told) {
    const item = document.createElement("li");
    item.value = form.slot;
    const length = `${count(form.length)} ${form.length === 1 ? "byte" : "bytes"}`;
    item.append(span("length", length));
    if (form.fate === 2) {
      item.append(` \u2014 its leftmost nonterminal, ${String.fromCharCode(form.leftmost)}, has no rule`);
    } else {
      if (form.fate === 1) item.append(span("doomed", "no text kept: it can never become a sentence"), " ");
      item.append(formCode(form));
    }
    if (form.slot === told.taken) {
      item.className = "taken";
      item.append(span("why", why(told.pending, told.taken)));  // after, so that the texts line up
    }
    return item;
  }

  // What the step did with the form it took.
  function didItems(told, rules) {
    const taken = told.pending[told.taken];
    const leftmost = taken.fate === 2 ? String.fromCharCode(taken.leftmost)
      : String.fromCharCode(taken.text[taken.leftmostAt - taken.start]);
    if (told.sentence > 0) return [`printed as sentence ${told.sentence}`];
    if (told.deadEnd) return [`dropped: ${leftmost} has no rule`];
    const list = document.createElement("ul");
    for (const child of told.children) {
      const item = list.appendChild(document.createElement("li"));
      const rule = item.appendChild(span("rule-text", `${child.label} ${leftmost} -> `));
      const text = rules[child.label];
      if (text.length === 0) rule.append("@");
      else appendBytes(rule, text);
      item.append(child.refused ? ": refused by a full stack" : ": pushed");
      if (child.refused) item.className = "refused";
    }
    return [`its leftmost nonterminal, ${leftmost}, replaced by each alternative in turn:`, list];
  }

  function go(to) {
    if (!run) return;
    step = Math.min(Math.max(1, Math.floor(to) || 1), run.steps);
    section.hidden = false;
    about.textContent = `step ${count(step)} of ${count(run.steps)}: replaying\u2026`;
    asked = performance.now();
    ask(step);
  }

  function keys(event) {
    if (event.target.closest("input") || event.altKey || event.ctrlKey || event.metaKey) return;
    const to = { ArrowLeft: step - 1, ArrowRight: step + 1, Home: 1, End: run ? run.steps : 1 }[event.key];
    if (to === undefined) return;
    event.preventDefault();
    go(to);
  }

  elements.first.addEventListener("click", () => go(1));
  elements.previous.addEventListener("click", () => go(step - 1));
  elements.next.addEventListener("click", () => go(step + 1));
  elements.last.addEventListener("click", () => run && go(run.steps));
  elements.stepForm.addEventListener("submit", (event) => {
    event.preventDefault();
    go(Number(elements.stepInput.value));
  });
  elements.sentenceForm.addEventListener("submit", (event) => {
    event.preventDefault();
    const k = Number(elements.sentenceInput.value);
    if (run && run.sentences[k - 1] !== undefined) go(run.sentences[k - 1]);
    else about.textContent = `This run printed ${run ? run.sentences.length : 0} sentences: no sentence ${k}.`;
  });
  elements.close.addEventListener("click", () => {
    section.hidden = true;
    onClose();
  });
  section.addEventListener("keydown", keys);

  return {
    go,
    // The run to step through: its summary and its sentences' steps; null
    // when there is no finished run.
    setRun(summary, sentenceSteps) {
      run = summary && summary.steps > 0 ? { steps: summary.steps, sentences: sentenceSteps, why: summary.why } : null;
      elements.sentenceInput.max = String(sentenceSteps.length || 1);
      elements.stepInput.max = String(run ? run.steps : 1);
      section.hidden = true;
      current = null;
    },
    available: () => run !== null,
    // A replayed step came: {step, reached, told, rules}.
    shown(answer) {
      if (answer.step !== step) return;
      current = { step, milliseconds: performance.now() - asked, told: answer.told };
      if (answer.reached !== 1 || !answer.told) {
        about.textContent = `step ${count(step)}: the search ends before it.`;
        pending.replaceChildren();
        did.replaceChildren();
        return;
      }
      const { told } = answer;
      const end = step === run.steps ? ` It is the last: the run ended with ${run.why}.` : "";
      about.textContent = `step ${count(step)} of ${count(run.steps)}: ${count(told.pending.length)} ` +
        `${told.pending.length === 1 ? "form" : "forms"} pending, by slot; it takes slot ${told.taken}.${end}`;
      pending.replaceChildren(...told.pending.map((form) => pendingItem(form, told)));
      did.replaceChildren(...didItems(told, answer.rules));
      const taken = pending.querySelector(".taken");
      if (taken) taken.scrollIntoView({ block: "nearest" });
    },
    stopped() {
      about.textContent = `step ${count(step)}: not replayed, stopped.`;
    },
    focus: () => title.focus(),
    current: () => current,
  };
}
