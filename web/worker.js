// SPDX-License-Identifier: MIT
// The page's worker: runs the engine on the bytes of a grammar file, off
// the page's thread, so that typing never waits for a run; the page stops
// a job by ending the worker. Standard output goes to the page in Blobs,
// which the browser may keep out of the page's memory, for download, with
// its first HEAD_LIMIT bytes to show, and which rules its sentences used.
// It keeps the last job's derivations, and replays one when the page asks,
// with what the page builds its tree from; it writes a tree as text when
// asked, as a tree may have millions of nodes. It answers the page's
// questions on a grammar too, each with the id it was asked with: whether
// strings are sentences, how two grammars differ, what a search step did,
// a covering set, a derivation of any labels. The engine
// (createSentgenEngine), its calls (engine_job.js) and the trees (tree.js)
// come before this.
"use strict";

// `jobs`: resolves to the engine's calls (sentgenMakeJobs). `trees`:
// tree.js. `post(message, transfer)`: hands a message to the page. Returns
// what takes each of the page's messages.
function sentgenWorker({ jobs, trees, post }) {
  const HEAD_LIMIT = 1 << 20;      // bytes of standard output the page shows
  const PROGRESS_EVERY_MS = 100;   // how often a long job says how far it is
  const SHOWN_STEPS = 40;          // a derivation's first and last steps shown
  const WHOLE_FORM = 256;          // a form this long or shorter is shown and saved whole
  const CONTEXT = 60;              // bytes shown each side of a rule's text in a longer one
  const latin1 = new TextDecoder("latin1");
  let last = null;      // the last job that ended: its grammar and derivations
  let replayed = null;  // the derivation replayed last: its labels, rules and start symbol

  // Runs `grammar`; its output goes to the page in parts as it comes, every
  // PROGRESS_EVERY_MS, with the first HEAD_LIMIT bytes for the pane, so that
  // a stopped job leaves the page what it printed. Posts the result.
  function runJob(calls, grammar) {
    const job = { pending: [], headSize: 0, head: [], reported: performance.now() };
    // Hands the bytes gathered so far to the page.
    const send = (type, more = {}) => {
      const head = new Uint8Array(job.head.reduce((n, b) => n + b.length, 0));
      job.head.reduce((at, b) => { head.set(b, at); return at + b.length; }, 0);
      post({ type, part: new Blob(job.pending), head, ...more }, [head.buffer]);
      job.pending = [];
      job.head = [];
    };
    const start = performance.now();
    const done = calls.run(grammar, (bytes) => {
      if (job.headSize < HEAD_LIMIT) {
        const taken = bytes.slice(0, HEAD_LIMIT - job.headSize);
        job.head.push(taken);
        job.headSize += taken.length;
      }
      job.pending.push(bytes.slice());
      const now = performance.now();
      if (now - job.reported >= PROGRESS_EVERY_MS) {
        job.reported = now;
        send("progress");
      }
    });
    const milliseconds = performance.now() - start;
    last = { grammar, sentences: done.sentences };
    send("done", { errors: done.errors, status: done.status, milliseconds, summary: done.summary,
      starts: done.sentences.map((sentence) => sentence.at),
      sentenceSteps: done.sentences.map((sentence) => sentence.step),
      coverage: done.status === 0 ? coverageOf(calls, grammar, done.sentences) : null });
  }

  // Which rules the sentences' derivations use, of those a sentence can:
  // {usable, used, unusable: labels "E:S"; lines: label -> the file's line}.
  function coverageOf(calls, grammar, sentences) {
    const { usable, ruleLines } = calls.cover(grammar, false);
    const applied = new Set();
    for (const { labels } of sentences) {
      for (const label of trees.labelsOf(labels)) applied.add(label);
    }
    const labels = [...usable.keys()];
    return { usable: labels.filter((label) => usable.get(label)),
      used: labels.filter((label) => usable.get(label) && applied.has(label)),
      unusable: labels.filter((label) => !usable.get(label)), lines: Object.fromEntries(ruleLines) };
  }

  // A form's text for the saved derivation: whole, or its length and what
  // was replayed of it.
  function savedForm(step) {
    const text = latin1.decode(step.text);
    if (step.start === 0 && step.text.length === step.length) return text;
    if (step.text.length === 0) return `(${step.length} bytes)`;
    const after = step.length - step.start - step.text.length;
    return `(${step.start} bytes)${text}(${after} bytes)`;
  }

  // Replays the derivation `labels` (two bytes a rule) on `grammar`; posts
  // its first and last steps, the whole derivation as text, and the tree's
  // makings: the rules' labels, the file's rules, the start symbol (null:
  // none) and the tree's nodes; `what` says whose derivation it is.
  function replayDerivation(calls, grammar, labels, what) {
    const count = labels.length / 2;
    const shown = [];
    const saved = [];
    let start = null;
    const { fits, ruleLines, rules } = calls.derivation(grammar, labels,
      { whole: WHOLE_FORM, ends: SHOWN_STEPS, context: CONTEXT }, (step) => {
        if (step.index === 0 && step.text.length > 0) start = step.text[0];
        const label = step.index === 0 ? "" : `${step.entry}:${step.slot}`;
        if (step.index < SHOWN_STEPS || step.index + SHOWN_STEPS > count) {
          // A long form is cut to CONTEXT bytes each side of the rule's text.
          let { text, start } = step;
          if (step.length > WHOLE_FORM && step.at >= 0) {
            const from = Math.max(step.at - CONTEXT, start);
            const to = Math.min(step.at + step.inserted + CONTEXT, start + text.length);
            text = text.slice(from - start, to - start);
            start = from;
          }
          shown.push({ index: step.index, label, length: step.length, at: step.at,
            inserted: step.inserted, start, text: text.slice() });
        }
        saved.push(`${step.index}\t${label || "start"}\t${savedForm(step)}\n`);
      });
    replayed = { rules, start, labels: labels.slice() };
    post({
      type: "derivation", ...what, count, fits, shown,
      ruleLines: Object.fromEntries(ruleLines), text: new Blob(saved, { type: "text/plain" }),
      tree: { labels: labels.slice(), rules, start, nodes: trees.size(rules, trees.labelsOf(labels)) },
    });
  }

  // Posts the tree of the derivation replayed last as text: an indented
  // outline, one node a line; null when there is none.
  function writeTree() {
    if (!replayed) {
      post({ type: "tree", text: null });  // this worker replayed none: it was ended since
      return;
    }
    const tree = trees.build(replayed.rules, trees.labelsOf(replayed.labels), replayed.start);
    post({ type: "tree", text: new Blob(trees.outline(tree), { type: "text/plain" }) });
  }

  // Decides each of `lines` (bytes) in `grammar`, posting each verdict as
  // it comes, so that a long list shows how far it got.
  function decideAll(calls, { id, grammar, lines }) {
    lines.forEach((text, k) => {
      const { verdict, labels } = calls.decide(grammar, text);
      post({ type: "decided", id, k, verdict, labels });
    });
  }

  // One search step of `grammar`, replayed: the forms pending before it,
  // what it did, and the file's rules, to name them.
  function replayStep(calls, { id, grammar, step }) {
    const { reached, steps, rules } = calls.steps(grammar, step, step,
      { whole: WHOLE_FORM, context: CONTEXT });
    post({ type: "steps", id, step, reached, told: steps[0] || null,
      rules: Object.fromEntries([...rules].map(([label, rule]) => [label, rule.text])) });
  }

  // The page's questions, each answered with the same `id`, outside a run.
  const questions = {
    decide: decideAll,
    steps: replayStep,
    // A derivation of `labels`, or of `text` as the decider finds it.
    derive(calls, { id, grammar, labels, text, what }) {
      const decided = labels ? { verdict: "sentence", labels } : calls.decide(grammar, text);
      if (decided.verdict === "sentence") replayDerivation(calls, grammar, decided.labels, { id, ...what });
      else post({ type: "derivation", id, ...what, verdict: decided.verdict });
    },
    compare(calls, { id, grammar, other }) {
      post({ type: "compared", id, ...calls.compare(grammar, other) });
    },
    tree: () => writeTree(),
    cover(calls, { id, grammar }) {
      const { loaded, lines, tooLong } = calls.cover(grammar, true);
      post({ type: "cover", id, loaded, lines, tooLong });
    },
  };

  return async (message) => {
    const calls = await jobs;
    try {
      if (message.type in questions) {
        questions[message.type](calls, message);
        post({ type: "answered", id: message.id });
      } else if (message.type === "derivation") {
        const sentence = last && last.sentences[message.n];
        if (sentence) {
          replayDerivation(calls, last.grammar, sentence.labels,
            { kind: "run", n: message.n, step: sentence.step });
        }
      } else {
        runJob(calls, message.grammar);
      }
    } catch (error) {
      post({ type: "crash", id: message.id, message: String(error) });
    }
  };
}

// The engine's WebAssembly, which the page holds gzipped in base64
// (sentgenWasm), unpacked.
async function sentgenUnpack(packed) {
  const gzipped = new Blob([Uint8Array.from(atob(packed), (c) => c.charCodeAt(0))]);
  return new Uint8Array(await new Response(gzipped.stream()
    .pipeThrough(new DecompressionStream("gzip"))).arrayBuffer());
}

// In the page's worker; under Node, the tests make their own.
if (typeof WorkerGlobalScope !== "undefined") {
  const jobs = sentgenUnpack(sentgenWasm).then((wasm) => sentgenMakeJobs(createSentgenEngine, wasm));
  const take = sentgenWorker({ jobs, trees: sentgenTree,
    post: (message, transfer = []) => postMessage(message, transfer) });
  onmessage = (event) => take(event.data);
}

if (typeof module !== "undefined") module.exports = { sentgenWorker };
