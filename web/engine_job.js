// SPDX-License-Identifier: MIT
// The calls into the engine, for the page's worker and for the Node test
// alike, so that the test runs the very code the page runs. A job is one
// run of the engine on the bytes of a grammar file, traced: its standard
// output in blocks, each sentence's derivation, what the search did, its
// standard error and exit status. A derivation is then replayed by the
// engine, step by step.
"use strict";

// Makes the engine with `createSentgenEngine` from the bytes of its
// WebAssembly, `wasm`; resolves to the calls.
async function sentgenMakeJobs(createSentgenEngine, wasm) {
  // Why a traced run ended, by the engine's number for it.
  const RUN_ENDS = [
    "twenty sentences",
    "nothing left pending",
    "10,000 steps without a sentence",
    "the file was rejected",
    "out of memory",
  ];
  let job = null;     // the run in progress: its handlers and results
  let replay = null;  // the replay in progress: its handlers
  const engine = await createSentgenEngine({
    wasmBinary: wasm,
    sentgenOutput(bytes) { job.output(bytes); },
    sentgenSentence(labels, step, at) { job.sentences.push({ labels, step, at }); },
    sentgenSummary(summary) { job.summary = { ...summary, why: RUN_ENDS[summary.end] }; },
    sentgenEnd(errors, status) {
      job.errors = errors;
      job.status = status;
    },
    sentgenRule({ entry, slot, line, lhs, text }) {
      const label = `${entry}:${slot}`;
      replay.ruleLines.set(label, line);
      replay.rules.set(label, { lhs, text });
    },
    sentgenRewrite(rewrite) { replay.onStep(rewrite); },
  });

  // Copies `bytes` into the engine's memory for one call.
  function withBytes(bytes, call) {
    const at = engine._malloc(Math.max(bytes.length, 1));
    engine.HEAPU8.set(bytes, at);
    try {
      return call(at, bytes.length);
    } finally {
      engine._free(at);
    }
  }

  return {
    // Runs the grammar file `grammar` (bytes); `output` gets standard
    // output in blocks, which it must copy to keep. Resolves to the
    // sentences' derivations ({labels: two bytes a rule, step, at: where
    // its line starts in standard output}), the search's summary (with the
    // listing's lines, the rejected line and the lines with warnings),
    // standard error and the exit status.
    run(grammar, output) {
      job = { output, sentences: [], summary: null, errors: new Uint8Array(0), status: -1 };
      withBytes(grammar, (at, size) => engine._sentgen_run(at, size, 1));
      const done = job;
      job = null;
      return done;
    },
    // Replays `labels` on `grammar`; `onStep` gets each step: its index,
    // rule (entry, slot), the form's length, where the nonterminal stood
    // (-1: not told) and the bytes put there, and text of the form from
    // byte `start`: the whole form when it has at most `whole` bytes, else,
    // for the first and last `ends` steps, `context` bytes each side of the
    // rule's text. Returns whether every rule fitted, the rule lines of the
    // file (label "E:S" -> line number) and its rules (label -> {lhs: the
    // left-hand side's byte, text: the bytes it puts into a form}).
    derivation(grammar, labels, { whole, ends, context }, onStep) {
      replay = { onStep, ruleLines: new Map(), rules: new Map() };
      const fits = withBytes(grammar, (at, size) => withBytes(labels, (rules) =>
        engine._sentgen_derivation(at, size, rules, labels.length / 2, whole, ends, context)));
      const done = { fits: fits === 1, ruleLines: replay.ruleLines, rules: replay.rules };
      replay = null;
      return done;
    },
  };
}

if (typeof module !== "undefined") module.exports = { sentgenMakeJobs };
