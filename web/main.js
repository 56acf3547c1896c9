// SPDX-License-Identifier: MIT
// The page: wires the editor, the runs, the output panes, the derivation
// view and its tree, the test strings, the comparison, the step view, the
// covering set and the address together. Each change runs the grammar
// after a short pause, and asks its questions again; the rest happens in
// the parts, which know each other only through what is passed to them
// here.
"use strict";

{
  const DEBOUNCE_MS = 200;  // quiet time after typing before a run

  const $ = (id) => document.getElementById(id);
  const bytes = sentgenBytes;
  const examples = JSON.parse($("example-grammars").textContent);
  let timer = 0;  // the debounce timer of the next run
  let shown = null;     // where the derivation shown came from: {from: "runner" or "checker",
                        // grammar: "main" or "other", select(): marks what it was picked from,
                        // focus(): gives that the focus back}
  let runGrammar = null;  // the grammar of the last finished run, which the step view steps through

  // The characters that stand for bytes are drawn as their escapes.
  const byteFace = new FontFace("sentgen bytes", byteFont(), { unicodeRange: "U+F700-F7FF" });
  document.fonts.add(byteFace);

  const setState = (state, text) => {
    document.body.dataset.state = state;
    $("state").textContent = text;
    refreshStop();
  };
  // Stop stops a run and the checker's questions alike.
  const refreshStop = () => {
    $("stop").disabled = document.body.dataset.state !== "running" &&
      !checker.busy();
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
      coverage: $("coverage"), messages: $("messages"), copy: $("copy") },
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
    onClose() {
      const back = shown;
      closeDerivation();
      if (back) back.focus();
    },
    onStep(step) {
      steps.go(step);
      steps.focus();
    },
  });

  const tree = makeTreeView({
    elements: { title: $("tree-title"), box: $("tree-box"), about: $("tree-about"),
      details: $("tree-text"), list: $("tree-list"), save: $("tree-save") },
    trees: sentgenTree,
    onPick: (label) => pick(label),
    onSave() {
      const current = derivation.current();
      if (!current || !shown) return;
      if (shown.from === "checker") {
        checker.ask({ type: "tree" });
        tree.saving(true);
      } else if (runner.askTree(current.n)) {
        tree.saving(true);
      }
    },
  });

  // Marks rule `label` wherever it shows: its steps and nodes, its
  // listing line, its editor line; null: none.
  // The other grammar's rules are marked in its derivation only.
  function pick(label) {
    derivation.markRule(label);
    tree.markRule(label);
    const here = label !== null && !(shown && shown.grammar === "other");
    output.markRule(here ? label : null);
    editor.pickLine(here ? derivation.lineOf(label) : 0);
  }

  function closeDerivation() {
    pick(null);
    derivation.hide();
    select(null);
  }

  // Marks where the derivation about to be shown was picked, and keeps it
  // to give the focus back on Close; null: nothing.
  function select(from) {
    output.selectSentence(null);
    tests.select(null);
    compare.select(null);
    cover.select(null);
    shown = from;
    if (from) from.select();
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

  // The runs and the questions each have a worker of the engine.
  const startWorker = (heard) => startEngineWorker($("worker-source").textContent, heard);
  const runner = makeRunner({
    startWorker,
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
      editor.setCoverage(result.coverage || null);
      runGrammar = result.stopped ? null : lastGrammar;
      steps.setRun(result.stopped ? null : result.summary, result.stopped ? [] : result.sentenceSteps);
      $("open-steps").disabled = !steps.available();
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
      if (!shown || shown.from !== "runner") return;
      tree.show(message.tree, message.fits);
      derivation.show(message);
    },
    onTree(message) {
      tree.saving(false);
      const current = derivation.current();
      if (message.text) download(message.text, `sentgen-tree-${current ? current.n + 1 : 1}.txt`);
    },
  });

  // Where the answers to each type of the checker's questions go.
  const checker = makeChecker({
    startWorker,
    answers: {
      decide: { answer: (message) => tests.decided(message.k, message.verdict, message.labels),
        unanswered: () => tests.stopped() },
      compare: { answer: (message) => compare.compared(message), unanswered: (why) => compare.stopped(why) },
      steps: { answer: (message) => steps.shown(message), unanswered: () => steps.stopped() },
      cover: { answer: (message) => cover.shown(message), unanswered: (why) => cover.stopped(why) },
      derive: {
        answer(message) {
          if (message.tree) tree.show(message.tree, message.fits);
          derivation.show(message);
        },
        unanswered: (why) => derivation.say(`not shown: ${why}`),
      },
      tree: {
        answer(message) {
          tree.saving(false);
          if (message.text) download(message.text, "sentgen-tree.txt");
        },
        unanswered: () => tree.saving(false),
      },
    },
    onBusy: refreshStop,
  });
  // Asks the checker `question` on grammar.txt, or on `grammar`.
  const ask = (question, grammar = editor.bytes()) => checker.ask({ grammar, ...question });

  // Shows in the derivation view the derivation, of `labels` or as the
  // decider finds it of `text`, in grammar.txt or the other grammar
  // (`side` 1); `from` marks where it was picked and gives the focus back.
  function askDecided({ text, labels, side, what }, from) {
    tree.clear();
    select({ from: "checker", grammar: side === 1 ? "other" : "main", ...from });
    derivation.say("replaying\u2026");
    ask({ type: "derive", text, labels, what: { kind: "decided", string: text, ...what,
      grammar: side === 1 ? "the other grammar" : "grammar.txt" } },
    side === 1 ? compare.bytes() : editor.bytes());
  }

  const tests = makeTestStrings({
    elements: { field: $("tests"), list: $("test-results"), about: $("tests-about") },
    bytes,
    appendBytes: output.appendBytes,
    ask: (lines) => ask({ type: "decide", lines }),
    onEdit: () => address.keep(),
    async onPick(k, line) {
      const from = { select: () => tests.select(k), focus: () => tests.focusLine(k) };
      if (line.verdict !== "sentence") {
        tree.clear();
        select({ from: "checker", grammar: "main", ...from });
        derivation.show({ kind: "decided", string: line.text, grammar: "grammar.txt", from: `test string ${k + 1}`,
          verdict: line.verdict === "waiting" ? "it is still being decided" : line.verdict });
        return;
      }
      // A sentence the run printed shows the run's derivation of it.
      const n = await runner.sentenceOf(line.text);
      if (n >= 0) {
        askDerivation(n);
        shown.select = () => {
          output.selectSentence(n);
          tests.select(k);
        };
        shown.select();
        shown.focus = from.focus;
        return;
      }
      askDecided({ text: line.text, labels: line.labels, side: 0,
        what: { from: `test string ${k + 1}` } }, from);
    },
  });

  const compare = makeCompareView({
    elements: { field: $("other"), examples: $("other-examples"), load: $("other-load"),
      open: $("other-open"), file: $("other-file"), about: $("compare-about"), said: $("compare-said"),
      differences: $("differences"), lists: [$("only-0-list"), $("only-1-list")] },
    bytes,
    examples,
    appendBytes: output.appendBytes,
    ask: (other) => ask({ type: "compare", other }),
    onEdit: () => address.keep(),
    onPick(side, text) {
      const k = compare.indexOf(side, text);
      askDecided({ text, side, what: { from: `only in ${side === 0 ? "grammar.txt" : "the other grammar"}` } },
        { select: () => compare.select(side, k), focus: () => compare.focusDifference(side, k) });
    },
  });

  const steps = makeStepView({
    elements: { section: $("steps"), title: $("steps-title"), about: $("step-about"),
      first: $("step-first"), previous: $("step-previous"), next: $("step-next"), last: $("step-last"),
      stepForm: $("step-form"), stepInput: $("step-input"), sentenceForm: $("sentence-form"),
      sentenceInput: $("sentence-input"), pending: $("step-pending"), did: $("step-did"),
      close: $("step-close") },
    appendBytes: output.appendBytes,
    ask: (step) => ask({ type: "steps", step }, runGrammar),
    onClose: () => $("open-steps").focus(),
  });

  const cover = makeCoverView({
    elements: { button: $("cover"), about: $("cover-about"), list: $("cover-list") },
    appendBytes: output.appendBytes,
    ask: () => ask({ type: "cover" }, runGrammar || editor.bytes()),
    onPick(k, line) {
      askDecided({ text: line.sentence, labels: line.labels, side: 0,
        what: { from: `covering sentence ${k + 1}` } },
      { select: () => cover.select(k), focus: () => cover.focusLine(k) });
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
    // Put back before the grammar's load, whose run asks of them again.
    extras: [{ key: "t", get: tests.bytes, set: tests.setBytes },
      { key: "c", get: compare.bytes, set: compare.setBytes }],
  });

  let lastGrammar = null;  // the grammar of the run in progress
  // Runs the grammar, and asks again what depends on it.
  function run() {
    clearTimeout(timer);
    lastGrammar = editor.bytes();
    runner.run(lastGrammar);
    tests.decide();
    compare.compare();
    cover.clear();
  }

  // Stop pressed: focus moves to the output before the button is disabled,
  // instead of falling to the page.
  function stop() {
    if (!runner.busy() && !checker.busy()) return;
    if (document.activeElement === $("stop")) $("output").focus();
    runner.stop();
    checker.stop();
  }

  // The sentence asked for stays marked while its derivation is shown.
  function askDerivation(n) {
    if (!runner.result()) return;
    tree.clear();
    select({ from: "runner", grammar: "main", select: () => output.selectSentence(n),
      focus: () => output.focusSentence(n) });
    if (runner.askDerivation(n)) derivation.waiting(n);
    else derivation.unavailable(n);
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
  $("open-steps").addEventListener("click", () => {
    steps.go(1);
    steps.focus();
  });
  $("copy").addEventListener("click", () => {
    if (runner.result()) output.copy();
  });
  $("download").addEventListener("click", () => {
    if (runner.result()) download(runner.result().output, "sentgen-output.txt");
  });
  document.addEventListener("keydown", (event) => {
    if (event.key === "Escape" && (runner.busy() || checker.busy())) stop();
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
    coverage: editor.coverage,
    step: steps.current,
    checking: checker.busy,
  };

  if (!address.loadFromAddress()) editor.load(new TextEncoder().encode(examples[0].text));
}
