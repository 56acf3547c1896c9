// SPDX-License-Identifier: MIT
// The editor for grammar.txt: a text area over a copy of its text that
// tints tabs, trailing spaces and the characters that stand for bytes, and
// marks the lines that messages name, the rules the run's sentences did
// not use, with their words after the line, and the line a rule was
// picked on;
// line numbers beside it. Only the lines in view are drawn, so a keystroke
// costs the same however long the file. A file far larger than a grammar
// is shown read-only from its bytes instead.
"use strict";

// `elements`: field (the text area), gutter, backdrop (the copy behind
// it), plainNote (the note on a read-only file). `bytes`: bytes.js.
// `onEdit(typed)`: after each change of the text; `typed` when the user
// made it rather than a load.
function makeEditor({ elements, bytes, onEdit }) {
  const { field, gutter, backdrop, plainNote } = elements;
  const TINTED_CHARS = 200;      // characters of a line tinted; the rest are plain
  const PLAIN_BYTES = 64 << 10;  // a file larger than this is shown read-only, untinted

  let lines = [""];        // the editor's lines, split once an edit
  let marks = new Map();   // editor line -> "error" or "warning"
  let coverage = new Map();  // editor line -> "unused" or "unusable": its rule, by the run's sentences
  const COVERAGE_WORDS = { unused: "not used by these sentences", unusable: "no sentence can use this rule" };
  let pickedLine = 0;      // the line a picked rule came from; 0: none
  let plain = null;        // a file too large to edit: its bytes and where its lines start
  let drawnTop = -1;       // the scroll position the visible lines were drawn for

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

  // A line with its tabs, trailing spaces and byte characters tinted; the
  // characters stay the same, so the copy lines up with the text area's
  // own. Past TINTED_CHARS a line is left plain.
  function markLine(line) {
    const shown = line.length > TINTED_CHARS ? line.slice(0, TINTED_CHARS) : line;
    const trail = shown.length === line.length ? line.length - line.replace(/ +$/, "").length : 0;
    const body = shown.slice(0, shown.length - trail);
    const out = tintBytes(html(body).replace(/\t/g, '<span class="tab">\t</span>'));
    return trail > 0 ? `${out}<span class="trail">${" ".repeat(trail)}</span>` : out;
  }

  function lineHeight() {
    return parseFloat(getComputedStyle(field).lineHeight) || 20;
  }

  // The element that scrolls the text: the text area, or the plain view.
  function scroller() {
    return plain ? backdrop : field;
  }

  // Line `i` for the copy, tinted; or, for a file too large to edit, as
  // plain text from its bytes.
  function drawnLine(i) {
    if (!plain) return markLine(lines[i]);
    const end = i + 1 < plain.starts.length ? plain.starts[i + 1] - 1 : plain.bytes.length;
    return tintBytes(html(bytes.bytesToText(plain.bytes.subarray(plain.starts[i],
      Math.min(end, plain.starts[i] + TINTED_CHARS)))));
  }

  // Redraws the line numbers and the copy for the lines in view; spacers
  // keep the heights of the lines not drawn.
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
      const covered = coverage.get(i + 1);
      const kind = (mark ? ` ${mark}` : "") + (covered ? ` ${covered}` : "") +
        (pickedLine === i + 1 ? " picked" : "");
      const said = [mark, COVERAGE_WORDS[covered]].filter(Boolean).join("; ");
      const title = said ? ` title="line ${i + 1}: ${said}"` : "";
      numbers += `<div class="n${kind}"${title}>${i + 1}</div>`;
      copy += `<div class="l${kind}">${drawnLine(i) || "\u200b"}</div>`;
    }
    const above = `<div style="height:${first * height}px"></div>`;
    const below = `<div style="height:${(count - last) * height}px"></div>`;
    gutter.innerHTML = above + numbers + below;
    backdrop.innerHTML = `<div class="rows">${above}${copy}${below}</div>`;
    followScroll();
  }

  function draw() {
    lines = plain ? [] : field.value.split("\n");
    drawVisible();
  }

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

  // Shows line `line` in view, and marks it; 0: none.
  function pickLine(line) {
    if (line === 0 && pickedLine === 0) return;
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

  // A change of the text: its marks and pick belonged to the text before.
  function changed(typed) {
    marks = new Map();
    coverage = new Map();
    pickedLine = 0;
    draw();
    onEdit(typed);
  }

  // Puts the bytes of a grammar file into the editor. A file far larger
  // than any grammar the limits allow is shown read-only and untinted, its
  // lines drawn from its bytes as they come into view, so that it never
  // holds up the page; it runs as it is.
  function load(fileBytes) {
    const large = fileBytes.length > PLAIN_BYTES;
    plain = null;
    if (large) {
      const starts = [0];
      for (let i = fileBytes.indexOf(0x0a); i !== -1; i = fileBytes.indexOf(0x0a, i + 1)) {
        starts.push(i + 1);
      }
      plain = { bytes: fileBytes.slice(), starts };
    }
    field.value = large ? "" : bytes.bytesToText(fileBytes);
    field.readOnly = large;
    document.body.classList.toggle("plain", large);
    backdrop.scrollTop = 0;
    plainNote.hidden = !large;
    plainNote.textContent = large ? `This file, ${bytes.formatBytes(fileBytes.length)} in ` +
      `${plain.starts.length.toLocaleString("en")} lines, is far larger than a grammar can use ` +
      "(30 entries of at most 5 alternatives): it is shown read-only and untinted, and runs as " +
      "it is. Load an example or open another file to edit." : "";
    changed(false);
  }

  field.addEventListener("input", () => changed(true));
  // Tab moves the focus, as everywhere; Alt+T types a tab.
  field.addEventListener("keydown", (event) => {
    if (event.altKey && !event.ctrlKey &&
      (event.key === "t" || event.key === "T" || event.code === "KeyT")) {
      event.preventDefault();
      document.execCommand("insertText", false, "\t");
    }
  });
  field.addEventListener("scroll", followScroll);
  backdrop.addEventListener("scroll", followScroll);

  return {
    load,
    pickLine,
    // The bytes of the grammar file in the editor.
    bytes: () => (plain ? plain.bytes : bytes.textToBytes(field.value)),
    // Marks the lines that messages name: editor line -> "error" or "warning".
    setMarks(found) {
      marks = found;
      draw();
    },
    marks: () => Object.fromEntries(marks),
    // Marks the lines of the rules the run's sentences did not use, as the
    // worker tells them ({usable, used, unusable: labels; lines: label ->
    // line}); null: none.
    setCoverage(told) {
      coverage = new Map();
      if (told) {
        for (const label of told.usable) {
          if (!told.used.includes(label)) coverage.set(told.lines[label], "unused");
        }
        for (const label of told.unusable) coverage.set(told.lines[label], "unusable");
      }
      drawVisible();
    },
    coverage: () => Object.fromEntries(coverage),
    focus: () => field.focus(),
  };
}

