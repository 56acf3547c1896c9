// SPDX-License-Identifier: MIT
// The output panes: standard output and standard error byte for byte, bytes
// that are not text written as escapes; standard output's sentences open
// their derivations and the listing's lines are labelled, to be marked by
// them. Under the editor, the run's messages, each line a button that
// shows it; under standard error, what the search did.
"use strict";

// `elements`: output, errors, more (the note on bytes not shown), summary,
// coverage (the line on the rules used, with its legend), messages, copy
// (the Copy button). `bytes`: bytes.js. `onSentence(n)`:
// sentence `n` (from 0) is asked for. `onGoto(line)`: a message's line is.
function makeOutputView({ elements, bytes, onSentence, onGoto }) {
  const { output, errors, more, summary, messages, copy } = elements;
  const COVERAGE_WORDS = { unused: "not used by these sentences", unusable: "no sentence can use this rule" };

  function byteSpan(b) {
    const span = document.createElement("span");
    span.className = "byte";
    span.dataset.b = b.toString(16).padStart(2, "0");
    span.textContent = b === 0x0d ? "\\r" : `\\x${span.dataset.b}`;
    return span;
  }

  function classSpan(kind, text) {
    const span = document.createElement("span");
    span.className = kind;
    span.textContent = text;
    return span;
  }

  // The end of the run of text at `i` that is shown as it is: UTF-8 text,
  // newlines, spaces that are not trailing; it stops at a tab, at trailing
  // spaces and at any other byte.
  function textEnd(from, i) {
    let j = i;
    while (j < from.length) {
      const b = from[j];
      if (b === 0x0a) { j += 1; continue; }
      if (b === 0x20) {
        let k = j;
        while (k < from.length && from[k] === 0x20) k += 1;
        if (k === from.length || from[k] === 0x0a) break;  // trailing
        j = k;
        continue;
      }
      if (b === 0x09) break;
      const n = bytes.utf8Length(from, j);
      if (n === 0) break;
      j += n;
    }
    return j;
  }

  // Appends `from` to `parts`: UTF-8 text as it is, tabs and trailing
  // spaces tinted, and every other byte (control bytes, bytes that are not
  // UTF-8) as an escape that keeps the byte in its data-b attribute.
  function appendBytes(parts, from) {
    const decoder = new TextDecoder();
    let i = 0;
    while (i < from.length) {
      const j = textEnd(from, i);
      if (j > i) parts.append(decoder.decode(from.subarray(i, j)));
      if (j === from.length) break;
      const b = from[j];
      if (b === 0x09) {
        parts.append(classSpan("tab", "\t"));
        i = j + 1;
      } else if (b === 0x20) {
        let k = j;
        while (k < from.length && from[k] === 0x20) k += 1;
        parts.append(classSpan("trail", " ".repeat(k - j)));
        i = k;
      } else {
        parts.append(byteSpan(b));
        i = j + 1;
      }
    }
  }

  // Shows `from` in `pane`, as appendBytes writes it.
  function showBytes(pane, from) {
    const parts = document.createDocumentFragment();
    appendBytes(parts, from);
    pane.replaceChildren(parts);
  }

  // A sentence's line, a button that opens its derivation. Its bytes are
  // the line's, so the pane's text stays the output's.
  function sentenceButton(n, line) {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "sentence";
    button.title = `sentence ${n + 1}: show its derivation`;
    button.dataset.n = String(n);
    appendBytes(button, line);
    return button;
  }

  // Shows standard output with its sentences as buttons that open their
  // derivations, and the listing's lines labelled, to be marked by them.
  function showOutput(head, rules, starts) {
    const parts = document.createDocumentFragment();
    const lines = outputLines(new TextDecoder("latin1").decode(head), rules, starts);
    let done = 0;  // where the bytes not yet shown start
    for (const line of lines) {
      appendBytes(parts, head.subarray(done, line.start));
      if (line.kind === "sentence") {
        parts.append(sentenceButton(line.label, head.subarray(line.start, line.end)));
      } else {
        const span = document.createElement("span");
        span.className = "rule";
        span.dataset.label = line.label;
        appendBytes(span, head.subarray(line.start, line.end));
        parts.append(span);
      }
      done = line.end;
    }
    appendBytes(parts, head.subarray(done));
    output.replaceChildren(parts);
  }

  // The start of `head` that ends at a line end, when the output goes on.
  function wholeLines(head, total) {
    if (total === head.length) return head;
    const end = head.lastIndexOf(0x0a);
    return end === -1 ? head : head.subarray(0, end + 1);
  }

  function lineButton(line, text) {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "goto";
    button.dataset.line = String(line);
    button.textContent = text;
    return button;
  }

  // Under the editor: the rejection's message, first in standard output,
  // with the line the engine says it names (`rejected`; 0: none); the
  // number of lines with warnings (`warned`); each line a button that
  // shows it in the editor.
  function showMessages(head, status, rejected, warned) {
    const parts = [];
    if (status === 1) {
      const first = new TextDecoder().decode(head.subarray(0, 300)).split("\n")[0];
      const prefix = `grammar.txt:${rejected}: `;
      const strong = document.createElement("strong");
      strong.textContent = "Rejected: ";
      parts.push(strong, rejected > 0 && first.startsWith(prefix)
        ? lineButton(rejected, `line ${rejected}: ${first.slice(prefix.length)}`) : first);
    }
    if (warned.length > 0) {
      if (parts.length > 0) parts.push(document.createElement("br"));
      parts.push(`${warned.length} ${warned.length === 1 ? "line has a warning" : "lines have warnings"}` +
        " (standard error has them in full): ");
      warned.sort((a, b) => a - b).slice(0, 20).forEach((line, k) => {
        if (k > 0) parts.push(" ");
        parts.push(lineButton(line, `line ${line}`));
      });
    }
    messages.replaceChildren(...parts);
    messages.hidden = parts.length === 0;
    messages.className = status === 1 ? "messages error" : "messages";
  }

  // What the search did, in one line.
  function searchSummary({ steps, made, refused, most, why }) {
    const count = (n, one, many) => `${n.toLocaleString("en")} ${n === 1 ? one : many}`;
    return `search: ${count(steps, "step", "steps")} \u00b7 ${count(made, "form", "forms")} made \u00b7 ` +
      `${refused.toLocaleString("en")} refused \u00b7 at most ${most.toLocaleString("en")} pending \u00b7 ` +
      `ended: ${why}`;
  }

  // Shows a run that ended or was stopped: `result` holds head (the start
  // of standard output), total, errors, status, summary, starts (where
  // each sentence's line starts), stopped. `warned`: the lines with
  // warnings, to name under the editor.
  function showResult(result, warned) {
    const { head, total, status, stopped } = result;
    const shown = wholeLines(head, total);
    showOutput(shown, result.summary ? result.summary.rules : 0, result.starts || []);
    showBytes(errors, result.errors);
    const hidden = total - shown.length;
    more.hidden = hidden === 0;
    more.textContent = `\u2026 and ${hidden.toLocaleString("en")} more bytes, not shown: ` +
      "Download has the whole output.";
    summary.textContent = result.summary ? searchSummary(result.summary) : "";
    showCoverage(result.coverage || null);
    showMessages(head, stopped ? null : status, result.summary ? result.summary.rejected : 0, warned);
  }

  // Which usable rules the printed sentences used, in words, and the
  // listing's lines marked, with their words in a title and after the
  // line: those no printed sentence used, and those no sentence can use.
  function showCoverage(coverage) {
    elements.coverage.hidden = coverage === null;
    if (coverage === null) return;
    const { usable, used, unusable } = coverage;
    const kinds = new Map([...unusable.map((label) => [label, "unusable"]),
      ...usable.filter((label) => !used.includes(label)).map((label) => [label, "unused"])]);
    for (const line of output.querySelectorAll(".rule")) {
      const kind = kinds.get(line.dataset.label);
      if (!kind) continue;
      line.classList.add(kind);
      line.title = `rule ${line.dataset.label}: ${COVERAGE_WORDS[kind]}`;
    }
    // The legend names only the marks there are.
    const marks = new Set(kinds.values());
    elements.coverage.querySelector(".legend").hidden = marks.size === 0;
    for (const kind of ["unused", "unusable"]) elements.coverage.querySelector(`.key.${kind}`).hidden = !marks.has(kind);
    elements.coverage.querySelector(".count").textContent = `the printed sentences use ${used.length} ` +
      `of the ${usable.length} usable ${usable.length === 1 ? "rule" : "rules"}` +
      (unusable.length > 0 ? `; ${unusable.length} ${unusable.length === 1 ? "rule" : "rules"} no sentence can use` : "");
  }

  // Copies the output as the pane shows it, escapes as written; the button,
  // not the status line, says it is done.
  async function copyShown() {
    const text = output.textContent;
    try {
      await navigator.clipboard.writeText(text);
    } catch {
      const range = document.createRange();
      range.selectNodeContents(output);
      getSelection().removeAllRanges();
      getSelection().addRange(range);
      document.execCommand("copy");
    }
    copy.textContent = "Copied";
    setTimeout(() => { copy.textContent = "Copy"; }, 1500);
  }

  output.addEventListener("click", (event) => {
    const sentence = event.target.closest(".sentence");
    if (sentence) onSentence(Number(sentence.dataset.n));
  });
  messages.addEventListener("click", (event) => {
    const button = event.target.closest("button.goto");
    if (button) onGoto(Number(button.dataset.line));
  });

  return {
    appendBytes,
    showResult,
    copy: copyShown,
    // A run in progress: the start of its output as it streams in.
    showStreaming: (head) => showBytes(output, head),
    // A new run: what was shown belonged to the grammar before.
    clear() {
      output.replaceChildren();
      errors.replaceChildren();
      more.hidden = true;
      summary.textContent = "";
      elements.coverage.hidden = true;
    },
    // The engine failed: nothing of its output is worth showing.
    showCrash(message) {
      output.textContent = "";
      errors.textContent = `the engine stopped: ${message}`;
    },
    // Marks rule `label`'s listing line (null: none), and shows it.
    markRule(label) {
      for (const old of output.querySelectorAll(".rule.picked")) old.classList.remove("picked");
      const listed = label === null ? null : output.querySelector(`.rule[data-label="${label}"]`);
      if (listed) {
        listed.classList.add("picked");
        listed.scrollIntoView({ block: "nearest" });
      }
    },
    // Marks sentence `n` as the one whose derivation is shown; null: none.
    selectSentence(n) {
      for (const old of output.querySelectorAll(".sentence[aria-current]")) {
        old.removeAttribute("aria-current");
      }
      const sentence = n === null ? null : output.querySelector(`.sentence[data-n="${n}"]`);
      if (sentence) sentence.setAttribute("aria-current", "true");
    },
    focusSentence(n) {
      const sentence = output.querySelector(`.sentence[data-n="${n}"]`);
      if (sentence) sentence.focus();
    },
  };
}

// The lines of standard output that the page marks, each {start, end,
// kind, label}: the listing's `rules` lines after its title ("rule",
// label "E:S"), then the sentences whose lines start at `starts`
// ("sentence", label their number from 0), as far as `text` (the output or
// its start, one character a byte) holds them whole.
function outputLines(text, rules, starts) {
  const lines = [];
  let at = text.startsWith("Production Rules\n") ? "Production Rules\n".length : text.length;
  for (let k = 0; k < rules && at < text.length; k += 1) {
    const end = text.indexOf("\n", at);
    if (end === -1) break;
    lines.push({ start: at, end, kind: "rule", label: text.slice(at + 1, text.indexOf(" ", at)) });
    at = end + 1;
  }
  starts.forEach((start, n) => {
    const end = text.indexOf("\n", start);
    if (end !== -1) lines.push({ start, end, kind: "sentence", label: n });
  });
  return lines;
}

if (typeof module !== "undefined") module.exports = { makeOutputView, outputLines };
