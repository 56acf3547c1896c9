// SPDX-License-Identifier: MIT
// The calls into the engine, for the page's worker and for the Node test
// alike, so that the test runs the very code the page runs. A job is one
// run of the engine on the bytes of a grammar file, traced: its standard
// output in blocks, each sentence's derivation, what the search did, its
// standard error and exit status. A derivation is then replayed by the
// engine, step by step; and the grammar is asked of: whether a string is a
// sentence, how it differs from another, what a search step did, which
// rules a sentence can use.
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
  // What each of the engine's answers to a question means, from -3 up.
  const VERDICTS = ["out of memory", "too long", "rejected", "not a sentence", "sentence"];
  const COMPARED = ["compared", "rejected", "other rejected", "out of memory"];
  let job = null;    // the run in progress: its handlers and results
  let asked = null;  // the other call in progress: what it gathers
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
      asked.ruleLines.set(label, line);
      asked.rules.set(label, { lhs, text });
    },
    sentgenRewrite(rewrite) { asked.onStep(rewrite); },
    sentgenLabels(labels) { asked.labels = labels; },
    sentgenDifference(side, bytes) { asked.only[side].push(bytes); },
    sentgenCompared(told) { Object.assign(asked, told); },
    sentgenPending(form) { asked.pending.push(form); },
    sentgenStep(step) {
      const children = [];
      for (let k = 0; k < step.children.length; k += 3) {
        children.push({ label: `${step.children[k]}:${step.children[k + 1]}`,
          refused: step.children[k + 2] === 1 });
      }
      asked.steps.push({ ...step, children, pending: asked.pending });
      asked.pending = [];
    },
    sentgenUsable(entry, slot, usable) { asked.usable.set(`${entry}:${slot}`, usable); },
    sentgenCoverLine(sentence, labels) { asked.lines.push({ sentence, labels }); },
    sentgenLeftOut({ entry, slot, length, steps }) {
      asked.tooLong.push({ label: `${entry}:${slot}`, length, steps });
    },
  });

  // Asks the engine with `call`, gathering its answers in `gathered` (with
  // the file's rules, when it tells them); returns the answer's number and
  // what was gathered.
  function ask(gathered, call) {
    asked = { ...gathered, ruleLines: new Map(), rules: new Map() };
    try {
      return { answer: call(), ...asked };
    } finally {
      asked = null;
    }
  }

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
      const done = ask({ onStep }, () => withBytes(grammar, (at, size) => withBytes(labels, (rules) =>
        engine._sentgen_derivation(at, size, rules, labels.length / 2, whole, ends, context))));
      return { fits: done.answer === 1, ruleLines: done.ruleLines, rules: done.rules };
    },
    // Whether `text` (bytes) is a sentence of `grammar`: its verdict,
    // "sentence" (with a leftmost derivation's `labels`, two bytes a
    // rule), "not a sentence", "rejected" (the grammar), "too long" (for
    // the decider) or "out of memory".
    decide(grammar, text) {
      const done = ask({ labels: new Uint8Array(0) }, () => withBytes(grammar, (at, size) =>
        withBytes(text, (from, length) => engine._sentgen_decide(at, size, from, length))));
      return { verdict: VERDICTS[done.answer + 3], labels: done.labels };
    },
    // The strings only `grammar` derives (only[0]) and only `other` does
    // (only[1]), shortest first, at most ten each; `checked`: the length up
    // to which every string was decided; `said`: the messages on `other`
    // (named "other grammar"); `status`: "compared", "rejected" (grammar),
    // "other rejected" or "out of memory".
    compare(grammar, other) {
      const done = ask({ only: [[], []], checked: 0, work: 0, said: new Uint8Array(0) }, () =>
        withBytes(grammar, (a, aSize) => withBytes(other, (b, bSize) =>
          engine._sentgen_compare(a, aSize, b, bSize))));
      return { status: COMPARED[done.answer], only: done.only, checked: done.checked, work: done.work,
        said: done.said };
    },
    // Search steps `first` to `last` of `grammar`, replayed: each {step,
    // taken (the slot), deadEnd, sentence (from 1; 0: none), children
    // ({label, refused}), pending (the forms before it, in slot order:
    // {slot, length, leftmostAt, fate, leftmost (a dead end's nonterminal),
    // text from byte `start`: whole up to `whole` bytes, else `context`
    // bytes each side of the leftmost nonterminal})}. `reached`: 1, 0 when
    // the search ended before `first`, -1 when the file is not a grammar.
    steps(grammar, first, last, { whole, context }) {
      const done = ask({ steps: [], pending: [] }, () => withBytes(grammar, (at, size) =>
        engine._sentgen_steps(at, size, first, last, whole, context)));
      return { reached: done.answer, steps: done.steps, ruleLines: done.ruleLines, rules: done.rules };
    },
    // The rules of `grammar` (`rules`, `ruleLines`, as derivation gives
    // them) and whether a sentence can use each (`usable`: label ->
    // boolean); with `lines`, its covering set too: `lines` ({sentence,
    // labels}) and the rules left out for length (`tooLong`: {label,
    // length, steps}). `loaded`: whether the file is a grammar.
    cover(grammar, lines) {
      const done = ask({ usable: new Map(), lines: [], tooLong: [] }, () => withBytes(grammar,
        (at, size) => engine._sentgen_cover(at, size, lines ? 1 : 0)));
      return { loaded: done.answer === 1, usable: done.usable, rules: done.rules,
        ruleLines: done.ruleLines, lines: done.lines, tooLong: done.tooLong };
    },
  };
}

if (typeof module !== "undefined") module.exports = { sentgenMakeJobs };
