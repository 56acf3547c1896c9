// SPDX-License-Identifier: MIT
// The page: wires the editor, the runs, the output panes, the derivation
// view and its tree, and the address together. Each change runs the
// grammar after a short pause; the rest happens in the parts, which know
// each other only through what is passed to them here.
"use strict";

{
  const DEBOUNCE_MS = 200;  // quiet time after typing before a run

  const $ = (id) => document.getElementById(id);
  const bytes = sentgenBytes;
  const examples = JSON.parse($("example-grammars").textContent);
  let timer = 0;  // the debounce timer of the next run

  // The characters that stand for bytes are drawn as their escapes.
  const byteFace = new FontFace("sentgen bytes", byteFont(), { unicodeRange: "U+F700-F7FF" });
  document.fonts.add(byteFace);

  const setState = (state, text) => {
    document.body.dataset.state = state;
    $("state").textContent = text;
    $("stop").disabled = state !== "running";
  };

  const editor = makeEditor({
    elements: { field: $("grammar"), gutter: $("gutter"), backdrop: $("backdrop"),
      plainNote: $("plain-note") },
    bytes,
    // After a change of the text, a run after a quiet time; the user's own
    // edit gives the address back to the editor.
    onEdit(typed) {
      if (typed) address.claim();
      clearTimeout(timer);
      timer = setTimeout(() => {
        address.keep();
        run();
      }, DEBOUNCE_MS);
    },
  });

  const output = makeOutputView({
    elements: { output: $("output"), errors: $("errors"), more: $("more"), summary: $("summary"),
      messages: $("messages"), copy: $("copy") },
    bytes,
    onSentence: (n) => askDerivation(n),
    onGoto(line) {
      editor.pickLine(line);
      editor.focus();
    },
  });

  const derivation = makeDerivationView({
    elements: { section: $("derivation"), title: $("derivation-title"), about: $("derivation-about"),
      steps: $("derivation-steps"), save: $("derivation-save"), close: $("derivation-close") },
    appendBytes: output.appendBytes,
    onPick: (label) => pick(label),
    onSave: (blob, name) => download(blob, name),
    onClose(n) {
      closeDerivation();
      output.focusSentence(n);
    },
  });

  const tree = makeTreeView({
    elements: { title: $("tree-title"), box: $("tree-box"), about: $("tree-about"),
      details: $("tree-text"), list: $("tree-list"), save: $("tree-save") },
    trees: sentgenTree,
    onPick: (label) => pick(label),
    onSave() {
      const shown = derivation.current();
      if (shown && runner.askTree(shown.n)) tree.saving(true);
    },
  });

  // Marks rule `label` wherever it shows: its steps and nodes, its
  // listing line, its editor line; null: none.
  function pick(label) {
    derivation.markRule(label);
    tree.markRule(label);
    output.markRule(label);
    editor.pickLine(label === null ? 0 : derivation.lineOf(label));
  }

  function closeDerivation() {
    pick(null);
    derivation.hide();
    output.selectSentence(null);
  }

  // The lines that the run's messages name, as the engine tells them: the
  // rejected line, the lines with warnings.
  const marksOf = (summary) => {
    const found = new Map();
    if (!summary) return found;
    for (const line of summary.warned) found.set(line, "warning");
    if (summary.rejected > 0) found.set(summary.rejected, "error");
    return found;
  };

  const runner = makeRunner({
    source: $("worker-source").textContent,
    onStart(runs) {
      document.body.dataset.runs = String(runs);
      closeDerivation();
      output.clear();
      setState("running", "running\u2026");
    },
    onProgress(head) {
      output.showStreaming(head);
      setState("running", `running\u2026 ${bytes.formatBytes(runner.streamed())}`);
    },
    onResult(result) {
      const marks = result.stopped ? new Map() : marksOf(result.summary);
      const warned = [...marks].filter(([, kind]) => kind === "warning").map(([line]) => line);
      output.showResult(result, warned);
      closeDerivation();
      editor.setMarks(marks);
      if (result.stopped) {
        setState("stopped", `stopped after ${result.total.toLocaleString("en")} bytes`);
      } else {
        setState("done", `exit status ${result.status} \u00b7 ${bytes.formatBytes(result.total)} \u00b7 ` +
          `${result.milliseconds.toFixed(1)} ms`);
        document.body.dataset.status = String(result.status);
      }
    },
    onCrash(message) {
      output.showCrash(message);
      setState("done", "failed");
    },
    onDerivation(message) {
      tree.show(message.tree, message.fits);
      derivation.show(message);
    },
    onTree(message) {
      tree.saving(false);
      download(message.text, `sentgen-tree-${message.n + 1}.txt`);
    },
  });

  const address = makeAddress({
    bytes,
    examples,
    grammar: editor.bytes,
    load: editor.load,
    notice(text) {
      $("notice").textContent = text;
      $("notice").hidden = text === "";
    },
  });

  function run() {
    clearTimeout(timer);
    runner.run(editor.bytes());
  }

  // Stop pressed: focus moves to the output before the button is disabled,
  // instead of falling to the page.
  function stop() {
    if (!runner.busy()) return;
    if (document.activeElement === $("stop")) $("output").focus();
    runner.stop();
  }

  // The sentence asked for stays marked while its derivation is shown.
  function askDerivation(n) {
    if (!runner.result()) return;
    tree.clear();
    if (runner.askDerivation(n)) derivation.waiting(n);
    else derivation.unavailable(n);
    output.selectSentence(n);
  }

  function loadAsEntry(fileBytes) {
    clearTimeout(timer);
    address.loadAsEntry(fileBytes);
  }

  // Saves `blob` as the file `name`.
  function download(blob, name) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
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
  $("stop").addEventListener("click", stop);
  $("copy").addEventListener("click", () => {
    if (runner.result()) output.copy();
  });
  $("download").addEventListener("click", () => {
    if (runner.result()) download(runner.result().output, "sentgen-output.txt");
  });
  document.addEventListener("keydown", (event) => {
    if (event.key === "Escape" && runner.busy()) stop();
    if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) run();
  });

  // For the tests, and for anyone at the console.
  window.sentgen = {
    byteFace,
    bytes,
    loadBytes: editor.load,
    grammarBytes: editor.bytes,
    result: runner.result,
    derivation: derivation.current,
    tree: tree.tree,
    marks: editor.marks,
  };

  if (!address.loadFromAddress()) editor.load(new TextEncoder().encode(examples[0].text));
}
