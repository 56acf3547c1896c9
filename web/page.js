// SPDX-License-Identifier: MIT
// The page: an editor for grammar.txt, and the run of the engine on it in a
// worker, shown as the program would print it. bytes.js comes before this
// script; the worker's source and the example grammars are in the page.
"use strict";

const DEBOUNCE_MS = 200;  // quiet time after typing before a run

const $ = (id) => document.getElementById(id);
const field = $("grammar");
const gutter = $("gutter");
const backdrop = $("backdrop");
const examples = JSON.parse($("example-grammars").textContent);

let worker = null;       // the worker, made on first use and after a stop
let busy = false;        // whether the worker is running
let timer = 0;           // the debounce timer of the next run
let runs = 0;            // runs started, for the tests to wait on
let result = null;       // the last run's result: head, total, output, errors, status
let marks = new Map();   // editor line -> "error" or "warning"

// ---- the editor ----------------------------------------------------------

// Escapes text for HTML.
function html(text) {
  return text.replace(/[&<>]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;" })[c]);
}

// A line of the editor with its tabs, trailing spaces and byte characters
// tinted; the characters stay the same, so the text lines up with the
// editor's own.
function markLine(line) {
  const trail = line.length - line.replace(/ +$/, "").length;
  const body = line.slice(0, line.length - trail);
  let out = "";
  for (const c of body) {
    if (c === "\t") out += '<span class="tab">\t</span>';
    else if (isByteChar(c.charCodeAt(0))) out += `<span class="byte">${c}</span>`;
    else out += html(c);
  }
  if (trail > 0) out += `<span class="trail">${" ".repeat(trail)}</span>`;
  return out;
}

// Redraws the line numbers and the tinted copy of the text behind the
// editor, with the lines that a message names marked.
function drawEditor() {
  const lines = field.value.split("\n");
  let numbers = "";
  let copy = "";
  lines.forEach((line, i) => {
    const mark = marks.get(i + 1);
    const kind = mark ? ` ${mark}` : "";
    const title = mark ? ` title="line ${i + 1}: ${mark}"` : "";
    numbers += `<div class="n${kind}"${title}>${i + 1}</div>`;
    copy += `<div class="l${kind}">${markLine(line) || "\u200b"}</div>`;
  });
  gutter.innerHTML = numbers;
  backdrop.innerHTML = copy;
  followScroll();
}

function followScroll() {
  gutter.scrollTop = field.scrollTop;
  backdrop.scrollTop = field.scrollTop;
  backdrop.scrollLeft = field.scrollLeft;
}

function grammarBytes() {
  return textToBytes(field.value);
}

// Puts the bytes of a grammar file into the editor and runs it.
function loadBytes(bytes) {
  field.value = bytesToText(bytes);
  edited();
}

// ---- the run ---------------------------------------------------------------

function newWorker() {
  const source = $("worker-source").textContent;
  const url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
  const made = new Worker(url);
  made.onmessage = (event) => finished(made, event.data);
  made.onerror = (event) => {
    event.preventDefault();
    finished(made, { type: "crash", message: event.message });
  };
  return made;
}

function setState(state, text) {
  document.body.dataset.state = state;
  $("state").textContent = text;
  $("stop").disabled = state !== "running";
}

function run() {
  clearTimeout(timer);
  if (busy) stop();
  worker = worker || newWorker();
  busy = true;
  runs += 1;
  document.body.dataset.runs = String(runs);
  setState("running", "running\u2026");
  worker.postMessage({ grammar: grammarBytes() });
}

function stop() {
  if (!busy) return;
  worker.terminate();
  worker = null;
  busy = false;
  setState("stopped", "stopped");
}

function finished(from, message) {
  if (from !== worker) return;  // a stopped run's last words
  if (message.type === "derivation") {
    showDerivation(message);
    return;
  }
  if (message.type === "progress") {
    setState("running", `running\u2026 ${formatBytes(message.total)}`);
    return;
  }
  busy = false;
  if (message.type === "crash") {
    worker.terminate();
    worker = null;
    result = null;
    $("output").textContent = "";
    $("errors").textContent = `the engine stopped: ${message.message}`;
    setState("done", "failed");
    return;
  }
  result = message;
  showResult();
}

function formatBytes(count) {
  if (count < 10000) return `${count} bytes`;
  if (count < 10 << 20) return `${(count / 1024).toFixed(0)} KB`;
  return `${(count / (1 << 20)).toFixed(1)} MB`;
}

// ---- the output ------------------------------------------------------------

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

// Appends `bytes` to `parts`: UTF-8 text as it is, tabs and trailing
// spaces tinted, and every other byte (control bytes, bytes that are not
// UTF-8) as an escape that keeps the byte in its data-b attribute.
function appendBytes(parts, bytes) {
  const decoder = new TextDecoder();
  let i = 0;
  while (i < bytes.length) {
    let j = i;
    while (j < bytes.length) {
      const b = bytes[j];
      if (b === 0x0a) { j += 1; continue; }
      if (b === 0x20) {
        let k = j;
        while (k < bytes.length && bytes[k] === 0x20) k += 1;
        if (k === bytes.length || bytes[k] === 0x0a) break;  // trailing
        j = k;
        continue;
      }
      if (b === 0x09 || b < 0x20 || b === 0x7f) break;
      const n = b < 0x80 ? 1 : utf8Length(bytes, j);
      if (n === 0) break;
      j += n;
    }
    if (j > i) parts.append(decoder.decode(bytes.subarray(i, j)));
    if (j === bytes.length) break;
    const b = bytes[j];
    if (b === 0x09) {
      parts.append(classSpan("tab", "\t"));
      i = j + 1;
    } else if (b === 0x20) {
      let k = j;
      while (k < bytes.length && bytes[k] === 0x20) k += 1;
      parts.append(classSpan("trail", " ".repeat(k - j)));
      i = k;
    } else {
      parts.append(byteSpan(b));
      i = j + 1;
    }
  }
}

// Shows `bytes` in `pane`, as appendBytes writes them.
function showBytes(pane, bytes) {
  const parts = document.createDocumentFragment();
  appendBytes(parts, bytes);
  pane.replaceChildren(parts);
}

// Shows standard output with its sentences as buttons that open their
// derivations, and the listing's lines labelled, to be marked by them.
function showOutput(head, rules) {
  const parts = document.createDocumentFragment();
  const lines = sentgenOutputLines(new TextDecoder("latin1").decode(head), rules);
  let plain = 0;  // where the bytes not yet shown start
  for (const line of lines) {
    if (line.kind === "other") continue;
    appendBytes(parts, head.subarray(plain, line.start));
    const span = document.createElement("span");
    if (line.kind === "sentence") {
      span.className = "sentence";
      span.tabIndex = 0;
      span.setAttribute("role", "button");
      span.setAttribute("aria-label", `sentence ${line.label + 1}: show its derivation`);
      span.dataset.n = String(line.label);
    } else {
      span.className = "rule";
      span.dataset.label = line.label;
    }
    appendBytes(span, head.subarray(line.start, line.end));
    parts.append(span);
    plain = line.end;
  }
  appendBytes(parts, head.subarray(plain));
  $("output").replaceChildren(parts);
}

// The lines that the run's messages name: the rejected line, the lines
// with warnings.
function findMarks(head, errors, status) {
  const found = new Map();
  const text = new TextDecoder().decode(errors);
  for (const match of text.matchAll(/^grammar\.txt:(\d+): warning: /gm)) {
    found.set(Number(match[1]), "warning");
  }
  if (status === 1) {
    const first = new TextDecoder().decode(head.subarray(0, 200));
    const match = /^grammar\.txt:(\d+): /.exec(first);
    if (match) found.set(Number(match[1]), "error");
  }
  return found;
}

function showResult() {
  const { head, total, errors, status, milliseconds, summary } = result;
  showOutput(head, summary ? summary.rules : 0);
  $("summary").textContent = summary ? searchSummary(summary) : "";
  closeDerivation();
  showBytes($("errors"), errors);
  const hidden = total - head.length;
  $("more").hidden = hidden === 0;
  $("more").textContent = `\u2026 and ${hidden.toLocaleString("en")} more bytes, not shown: ` +
    "Download has the whole output.";
  marks = findMarks(head, errors, status);
  drawEditor();
  setState("done", `exit status ${status} \u00b7 ${formatBytes(total)} \u00b7 ` +
    `${milliseconds.toFixed(1)} ms`);
}

// What the search did, in one line.
function searchSummary({ steps, made, refused, most, why }) {
  const count = (n, one, many) => `${n.toLocaleString("en")} ${n === 1 ? one : many}`;
  return `search: ${count(steps, "step", "steps")} \u00b7 ${count(made, "form", "forms")} made \u00b7 ` +
    `${refused.toLocaleString("en")} refused \u00b7 at most ${most.toLocaleString("en")} pending \u00b7 ` +
    `ended: ${why}`;
}

async function copyOutput() {
  if (!result) return;
  const text = new TextDecoder().decode(result.head);
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    const range = document.createRange();
    range.selectNodeContents($("output"));
    getSelection().removeAllRanges();
    getSelection().addRange(range);
    document.execCommand("copy");
  }
  $("state").textContent = "copied";
}

function downloadOutput() {
  if (!result) return;
  const link = document.createElement("a");
  link.href = URL.createObjectURL(result.output);
  link.download = "sentgen-output.txt";
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// ---- the page's address ----------------------------------------------------

function keepInAddress() {
  history.replaceState(null, "", `#g=${bytesToBase64url(grammarBytes())}`);
}

function loadFromAddress() {
  const match = /^#g=([A-Za-z0-9_-]*)$/.exec(location.hash);
  if (!match) return false;
  try {
    loadBytes(base64urlToBytes(match[1]));
    return true;
  } catch {
    return false;
  }
}

// ---- wiring ----------------------------------------------------------------

function edited() {
  marks = new Map();
  drawEditor();
  clearTimeout(timer);
  timer = setTimeout(() => {
    keepInAddress();
    run();
  }, DEBOUNCE_MS);
}

for (const example of examples) {
  const option = document.createElement("option");
  option.value = example.name;
  option.textContent = example.name;
  $("examples").append(option);
}
$("examples").addEventListener("change", (event) => {
  const example = examples.find((e) => e.name === event.target.value);
  if (example) loadBytes(new TextEncoder().encode(example.text));
});
$("open").addEventListener("click", () => $("file").click());
$("file").addEventListener("change", async (event) => {
  const file = event.target.files[0];
  if (file) loadBytes(new Uint8Array(await file.arrayBuffer()));
  event.target.value = "";
});
field.addEventListener("input", edited);
field.addEventListener("scroll", followScroll);
$("stop").addEventListener("click", stop);
$("copy").addEventListener("click", copyOutput);
$("download").addEventListener("click", downloadOutput);
document.addEventListener("keydown", (event) => {
  if (event.key === "Escape" && busy) stop();
  if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) run();
});
addEventListener("hashchange", loadFromAddress);
$("output").addEventListener("click", (event) => {
  const sentence = event.target.closest(".sentence");
  if (sentence) askDerivation(Number(sentence.dataset.n));
});
$("output").addEventListener("keydown", (event) => {
  const sentence = event.target.closest(".sentence");
  if (sentence && (event.key === "Enter" || event.key === " ")) {
    event.preventDefault();
    askDerivation(Number(sentence.dataset.n));
  }
});

// For the tests, and for anyone at the console.
window.sentgen = {
  loadBytes,
  grammarBytes,
  result: () => result,
  derivation: () => derivation,
  marks: () => Object.fromEntries(marks),
};

if (!loadFromAddress()) loadBytes(new TextEncoder().encode(examples[0].text));
