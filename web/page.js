// SPDX-License-Identifier: MIT
// The page: an editor for grammar.txt, and the run of the engine on it in a
// worker, shown as the program would print it. bytes.js and byte_font.js
// come before this script; the worker's source and the example grammars
// are in the page.
"use strict";

const DEBOUNCE_MS = 200;  // quiet time after typing before a run

const $ = (id) => document.getElementById(id);
const field = $("grammar");
const gutter = $("gutter");
const backdrop = $("backdrop");
const examples = JSON.parse($("example-grammars").textContent);

const HEAD_LIMIT = 1 << 20;    // bytes of standard output shown
const TINTED_CHARS = 200;      // characters of a line tinted; the rest are plain
const PLAIN_BYTES = 64 << 10;  // a file larger than this is shown read-only, untinted
const ADDRESS_LIMIT = 48 << 10;  // bytes of a grammar kept in the address

let worker = null;       // the worker, made on first use and after a stop
let busy = false;        // whether the worker is running
let timer = 0;           // the debounce timer of the next run
let runs = 0;            // runs started, for the tests to wait on
let result = null;       // the shown output: head, total, output, errors, status, stopped
let streaming = null;    // the run in progress: its head and parts so far
let marks = new Map();   // editor line -> "error" or "warning"
let lines = [""];        // the editor's lines, split once an edit
let pickedLine = 0;      // the editor line a derivation's rule marks; 0: none
let addressOwned = true; // whether the address may follow the editor
let plain = null;        // a file too large to edit: its bytes and where its lines start

// ---- the editor ----------------------------------------------------------

// The characters that stand for bytes are drawn as their escapes.
const byteFace = new FontFace("sentgen bytes", byteFont(), { unicodeRange: "U+F700-F7FF" });
document.fonts.add(byteFace);

// Escapes text for HTML.
function html(text) {
  return text.replace(/[&<>]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;" })[c]);
}

// Tints the characters that stand for bytes, which the page's font draws
// as their escapes. A run of them is one span: a span a byte would make a
// keystroke in a binary file slow to draw.
function tintBytes(text) {
  return text.replace(/[\uf700-\uf7ff]+/g, (run) => `<span class="byte">${run}</span>`);
}

// A line of the editor with its tabs, trailing spaces and byte characters
// tinted; the characters stay the same, so the text lines up with the
// editor's own. Past TINTED_CHARS a line is left plain.
function markLine(line) {
  const shown = line.length > TINTED_CHARS ? line.slice(0, TINTED_CHARS) : line;
  const trail = shown.length === line.length ? line.length - line.replace(/ +$/, "").length : 0;
  const body = shown.slice(0, shown.length - trail);
  const out = tintBytes(html(body).replace(/\t/g, '<span class="tab">\t</span>'));
  return trail > 0 ? `${out}<span class="trail">${" ".repeat(trail)}</span>` : out;
}

// The height of an editor line, in pixels.
function lineHeight() {
  return parseFloat(getComputedStyle(field).lineHeight) || 20;
}

// The element that scrolls the text: the editor, or the plain view.
function scroller() {
  return plain ? backdrop : field;
}

// Line `i` for the copy behind the editor, tinted; or, for a file too
// large to edit, as plain text from its bytes.
function drawnLine(i) {
  if (!plain) return markLine(lines[i]);
  const end = i + 1 < plain.starts.length ? plain.starts[i + 1] - 1 : plain.bytes.length;
  return tintBytes(html(bytesToText(plain.bytes.subarray(plain.starts[i],
    Math.min(end, plain.starts[i] + TINTED_CHARS)))));
}

// Redraws the line numbers and the tinted copy of the text behind the
// editor for the lines in view only, so that a keystroke costs the same
// however long the file; spacers keep the heights of the lines not drawn.
function drawVisible() {
  const height = lineHeight();
  const view = scroller();
  const count = plain ? plain.starts.length : lines.length;
  const first = Math.max(0, Math.floor(view.scrollTop / height) - 10);
  const last = Math.min(count, first + Math.ceil(view.clientHeight / height) + 20);
  let numbers = "";
  let copy = "";
  for (let i = first; i < last; i += 1) {
    const mark = marks.get(i + 1);
    const kind = (mark ? ` ${mark}` : "") + (pickedLine === i + 1 ? " picked" : "");
    const title = mark ? ` title="line ${i + 1}: ${mark}"` : "";
    numbers += `<div class="n${kind}"${title}>${i + 1}</div>`;
    copy += `<div class="l${kind}">${drawnLine(i) || "\u200b"}</div>`;
  }
  const above = `<div style="height:${first * height}px"></div>`;
  const below = `<div style="height:${(count - last) * height}px"></div>`;
  gutter.innerHTML = above + numbers + below;
  backdrop.innerHTML = `<div class="rows">${above}${copy}${below}</div>`;
  followScroll();
}

function drawEditor() {
  lines = plain ? [] : field.value.split("\n");
  drawVisible();
}

let drawnTop = -1;  // the scroll position the visible lines were drawn for
function followScroll() {
  const view = scroller();
  if (Math.abs(view.scrollTop - drawnTop) > 5 * lineHeight()) {
    drawnTop = view.scrollTop;
    drawVisible();
    return;
  }
  gutter.scrollTop = view.scrollTop;
  if (!plain) {
    backdrop.scrollTop = field.scrollTop;
    backdrop.scrollLeft = field.scrollLeft;
  }
}

// Shows editor line `line` in view, and marks it; 0: none.
function pickLine(line) {
  pickedLine = line;
  if (line > 0) {
    const height = lineHeight();
    const top = (line - 1) * height;
    const view = scroller();
    if (top < view.scrollTop || top + height > view.scrollTop + view.clientHeight) {
      view.scrollTop = Math.max(0, top - view.clientHeight / 2);
    }
  }
  drawnTop = scroller().scrollTop;
  drawVisible();
}

function grammarBytes() {
  return plain ? plain.bytes : textToBytes(field.value);
}

// Puts the bytes of a grammar file into the editor and runs it. A file far
// larger than any grammar the limits allow is shown read-only and
// untinted, its lines drawn from its bytes as they come into view, so that
// it never holds up the page; it runs as it is.
function loadBytes(bytes) {
  const large = bytes.length > PLAIN_BYTES;
  plain = null;
  if (large) {
    const starts = [0];
    for (let i = bytes.indexOf(0x0a); i !== -1; i = bytes.indexOf(0x0a, i + 1)) starts.push(i + 1);
    plain = { bytes: bytes.slice(), starts };
  }
  field.value = large ? "" : bytesToText(bytes);
  field.readOnly = large;
  document.body.classList.toggle("plain", large);
  backdrop.scrollTop = 0;
  $("plain-note").hidden = !large;
  $("plain-note").textContent = large ? `This file, ${formatBytes(bytes.length)} in ` +
    `${plain.starts.length.toLocaleString("en")} lines, is far larger than a grammar can use ` +
    "(30 entries of at most 5 alternatives): it is shown read-only and untinted, and runs as it " +
    "is. Load an example or open another file to edit." : "";
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
  if (busy) stop(false);
  worker = worker || newWorker();
  busy = true;
  runs += 1;
  document.body.dataset.runs = String(runs);
  // What was shown belonged to the grammar before: it goes at once.
  streaming = { head: new Uint8Array(0), parts: [], total: 0 };
  result = null;
  closeDerivation();
  $("output").replaceChildren();
  $("errors").replaceChildren();
  $("more").hidden = true;
  $("summary").textContent = "";
  setState("running", "running\u2026");
  worker.postMessage({ grammar: grammarBytes() });
}

// Stops the run; what it printed so far stays, labelled. `keepFocus`:
// Stop was pressed, so focus moves to the output before the button is
// disabled, instead of falling to the page.
function stop(keepFocus = true) {
  if (!busy) return;
  if (keepFocus && document.activeElement === $("stop")) $("output").focus();
  worker.terminate();
  worker = null;
  busy = false;
  const { head, parts, total } = streaming;
  streaming = null;
  result = { head, total, output: new Blob(parts, { type: "text/plain" }), stopped: true,
    errors: new Uint8Array(0), status: null, summary: null };
  showResult();
}

// Takes a block of the run's output: its bytes for Download, and the
// start of them for the pane.
function takeOutput(message) {
  streaming.parts.push(message.part);
  streaming.total += message.part.size;
  if (message.head.length > 0) {
    const head = new Uint8Array(streaming.head.length + message.head.length);
    head.set(streaming.head);
    head.set(message.head, streaming.head.length);
    streaming.head = head;
    showBytes($("output"), head);
  }
}

function finished(from, message) {
  if (from !== worker) return;  // a stopped run's last words
  if (message.type === "derivation") {
    showDerivation(message);
    return;
  }
  if (message.type === "progress") {
    takeOutput(message);
    setState("running", `running\u2026 ${formatBytes(streaming.total)}`);
    return;
  }
  busy = false;
  if (message.type === "crash") {
    worker.terminate();
    worker = null;
    result = null;
    streaming = null;
    $("output").textContent = "";
    $("errors").textContent = `the engine stopped: ${message.message}`;
    setState("done", "failed");
    return;
  }
  takeOutput(message);
  const { head, parts, total } = streaming;
  streaming = null;
  result = { ...message, head, total, output: new Blob(parts, { type: "text/plain" }) };
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
      if (b === 0x09) break;
      const n = utf8Length(bytes, j);
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
function showOutput(head, rules, starts) {
  const parts = document.createDocumentFragment();
  const lines = sentgenOutputLines(new TextDecoder("latin1").decode(head), rules, starts);
  let plain = 0;  // where the bytes not yet shown start
  for (const line of lines) {
    appendBytes(parts, head.subarray(plain, line.start));
    const span = document.createElement("span");
    if (line.kind === "sentence") {
      span.className = "sentence";
      span.tabIndex = 0;
      span.setAttribute("role", "button");
      span.title = `sentence ${line.label + 1}: show its derivation`;
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

// The lines that the run's messages name, as the engine tells them: the
// rejected line, the lines with warnings.
function findMarks(summary) {
  const found = new Map();
  if (!summary) return found;
  for (const line of summary.warned) found.set(line, "warning");
  if (summary.rejected > 0) found.set(summary.rejected, "error");
  return found;
}

// The start of `head` that ends at a line end, when the output goes on.
function wholeLines(head, total) {
  if (total === head.length) return head;
  const end = head.lastIndexOf(0x0a);
  return end === -1 ? head : head.subarray(0, end + 1);
}

function showResult() {
  const { head, total, errors, status, milliseconds, summary, stopped } = result;
  const shown = wholeLines(head, total);
  showOutput(shown, summary ? summary.rules : 0, result.starts || []);
  showBytes($("errors"), errors);
  const hidden = total - shown.length;
  $("more").hidden = hidden === 0;
  $("more").textContent = `\u2026 and ${hidden.toLocaleString("en")} more bytes, not shown: ` +
    "Download has the whole output.";
  $("summary").textContent = summary ? searchSummary(summary) : "";
  closeDerivation();
  marks = stopped ? new Map() : findMarks(summary);
  drawEditor();
  showMessages(head, errors, status);
  if (stopped) {
    setState("stopped", `stopped after ${total.toLocaleString("en")} bytes`);
  } else {
    setState("done", `exit status ${status} \u00b7 ${formatBytes(total)} \u00b7 ` +
      `${milliseconds.toFixed(1)} ms`);
    document.body.dataset.status = String(status);
  }
}

// Under the editor: the rejection's message, or the number of warnings,
// each line a button that shows it in the editor.
function showMessages(head, errors, status) {
  const box = $("messages");
  const parts = [];
  const lineButton = (line, text) => {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "goto";
    button.dataset.line = String(line);
    button.textContent = text;
    return button;
  };
  if (status === 1) {
    const first = new TextDecoder().decode(head.subarray(0, 300)).split("\n")[0];
    const match = /^grammar\.txt:(\d+): (.*)$/.exec(first);
    const strong = document.createElement("strong");
    strong.textContent = "Rejected: ";
    parts.push(strong, match ? lineButton(Number(match[1]), `line ${match[1]}: ${match[2]}`) : first);
  }
  const warned = [...marks].filter(([, kind]) => kind === "warning").map(([line]) => line);
  if (warned.length > 0) {
    if (parts.length > 0) parts.push(document.createElement("br"));
    parts.push(`${warned.length} ${warned.length === 1 ? "line has a warning" : "lines have warnings"}` +
      " (standard error has them in full): ");
    warned.sort((a, b) => a - b).slice(0, 20).forEach((line, k) => {
      if (k > 0) parts.push(" ");
      parts.push(lineButton(line, `line ${line}`));
    });
  }
  box.replaceChildren(...parts);
  box.hidden = parts.length === 0;
  box.className = status === 1 ? "messages error" : "messages";
}

// What the search did, in one line.
function searchSummary({ steps, made, refused, most, why }) {
  const count = (n, one, many) => `${n.toLocaleString("en")} ${n === 1 ? one : many}`;
  return `search: ${count(steps, "step", "steps")} \u00b7 ${count(made, "form", "forms")} made \u00b7 ` +
    `${refused.toLocaleString("en")} refused \u00b7 at most ${most.toLocaleString("en")} pending \u00b7 ` +
    `ended: ${why}`;
}

// Copies the output as the pane shows it, escapes as written; the button,
// not the status line, says it is done.
async function copyOutput() {
  if (!result) return;
  const text = $("output").textContent;
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    const range = document.createRange();
    range.selectNodeContents($("output"));
    getSelection().removeAllRanges();
    getSelection().addRange(range);
    document.execCommand("copy");
  }
  $("copy").textContent = "Copied";
  setTimeout(() => { $("copy").textContent = "Copy"; }, 1500);
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

// The address holds the grammar, so that a link gives it to someone else;
// each load is an entry of the history, so that Back gives back the text
// before it. An edit rewrites the current entry.
function addressOf(bytes) {
  return bytes.length > ADDRESS_LIMIT ? "#" : `#g=${bytesToBase64url(bytes)}`;
}

function keepInAddress() {
  if (addressOwned) history.replaceState(null, "", addressOf(grammarBytes()));
}

// Loads `bytes` as a new entry of the history, the edited text staying in
// the entry before.
function loadAsEntry(bytes) {
  clearTimeout(timer);
  if (addressOwned) keepInAddress();
  history.pushState(null, "", addressOf(bytes));
  addressOwned = true;
  setNotice("");
  loadBytes(bytes);
}

function setNotice(text) {
  $("notice").textContent = text;
  $("notice").hidden = text === "";
}

// Loads the grammar of the address. A link that cannot be read says why,
// and the address is left as it is until the grammar is edited.
function loadFromAddress() {
  const hash = location.hash;
  if (hash === "" || hash === "#") return false;
  const match = /^#g=([A-Za-z0-9_-]*)$/.exec(hash);
  let why = "";
  if (!match) {
    why = "it does not start with #g= followed by base64url (A-Z, a-z, 0-9, - and _)";
  } else {
    try {
      loadBytes(base64urlToBytes(match[1]));
      addressOwned = true;
      setNotice("");
      return true;
    } catch (error) {
      why = `its grammar is not whole base64url (${error.message || error})`;
    }
  }
  addressOwned = false;
  loadBytes(new TextEncoder().encode(examples[0].text));
  setNotice(`The link's grammar could not be read: ${why}. Shown instead: the example ` +
    `"${examples[0].name}". The address is kept as it is until you edit.`);
  return true;
}

// ---- wiring ----------------------------------------------------------------

// After a change of the text: redraw, then run after a quiet time.
// `typed`: the user's own edit, which the address then follows.
function edited(typed = false) {
  if (typed && !addressOwned) {
    addressOwned = true;
    setNotice("");
  }
  marks = new Map();
  pickedLine = 0;
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
// The examples list changes nothing until Load: an arrow key on it must
// not replace the grammar; Load again reloads the example.
$("load-example").addEventListener("click", () => {
  const example = examples.find((e) => e.name === $("examples").value);
  if (example) loadAsEntry(new TextEncoder().encode(example.text));
});
$("open").addEventListener("click", () => $("file").click());
$("file").addEventListener("change", async (event) => {
  const file = event.target.files[0];
  if (file) loadAsEntry(new Uint8Array(await file.arrayBuffer()));
  event.target.value = "";
});
field.addEventListener("input", () => edited(true));
// Tab moves the focus, as everywhere; Alt+T types a tab.
field.addEventListener("keydown", (event) => {
  if (event.altKey && !event.ctrlKey && (event.key === "t" || event.key === "T" || event.code === "KeyT")) {
    event.preventDefault();
    document.execCommand("insertText", false, "\t");
  }
});
$("messages").addEventListener("click", (event) => {
  const button = event.target.closest("button.goto");
  if (button) {
    pickLine(Number(button.dataset.line));
    field.focus();
  }
});
field.addEventListener("scroll", followScroll);
backdrop.addEventListener("scroll", followScroll);
$("stop").addEventListener("click", () => stop());
$("copy").addEventListener("click", copyOutput);
$("download").addEventListener("click", downloadOutput);
document.addEventListener("keydown", (event) => {
  if (event.key === "Escape" && busy) stop();
  if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) run();
});
addEventListener("popstate", loadFromAddress);
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
  byteFace,
  loadBytes,
  grammarBytes,
  result: () => result,
  derivation: () => derivation,
  marks: () => Object.fromEntries(marks),
};

if (!loadFromAddress()) loadBytes(new TextEncoder().encode(examples[0].text));
