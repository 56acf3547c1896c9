// SPDX-License-Identifier: MIT
// The page's worker: runs the engine on the bytes of a grammar file, off
// the page's thread, so that typing never waits for a run; the page stops
// a job by ending the worker. Standard output goes to the page in Blobs,
// which the browser may keep out of the page's memory, for download, with
// its first HEAD_LIMIT bytes to show. It keeps the last job's derivations,
// and replays one when the page asks, with what the page builds its tree
// from; it writes a tree as text when asked, as a tree may have millions
// of nodes. The engine (createSentgenEngine), its calls (engine_job.js)
// and the trees (tree.js) come before this.
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
  let last = null;  // the last job that ended: its grammar and derivations; once one is
                    // replayed, the file's rules and start symbol

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
    last = { grammar, sentences: done.sentences, rules: null, start: null };
    send("done", { errors: done.errors, status: done.status, milliseconds, summary: done.summary,
      starts: done.sentences.map((sentence) => sentence.at) });
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

  // Replays the derivation of sentence `n` of the last job; posts its first
  // and last steps, the whole derivation as text, and the tree's makings:
  // the rules' labels (two bytes each), the file's rules, the start symbol
  // (null: none) and the tree's nodes.
  function replayDerivation(calls, n) {
    const sentence = last && last.sentences[n];
    if (!sentence) return;
    const count = sentence.labels.length / 2;
    const shown = [];
    const saved = [];
    let start = null;
    const { fits, ruleLines, rules } = calls.derivation(last.grammar, sentence.labels,
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
    last.rules = rules;
    last.start = start;
    post({
      type: "derivation", n, count, step: sentence.step, fits, shown,
      ruleLines: Object.fromEntries(ruleLines), text: new Blob(saved, { type: "text/plain" }),
      tree: { labels: sentence.labels.slice(), rules, start,
        nodes: trees.size(rules, trees.labelsOf(sentence.labels)) },
    });
  }

  // Posts the tree of sentence `n`'s derivation, replayed last, as text:
  // an indented outline, one node a line.
  function writeTree(n) {
    const sentence = last && last.sentences[n];
    if (!sentence || !last.rules) return;
    const tree = trees.build(last.rules, trees.labelsOf(sentence.labels), last.start);
    post({ type: "tree", n, text: new Blob(trees.outline(tree), { type: "text/plain" }) });
  }

  return async (message) => {
    const calls = await jobs;
    try {
      if (message.type === "derivation") replayDerivation(calls, message.n);
      else if (message.type === "tree") writeTree(message.n);
      else runJob(calls, message.grammar);
    } catch (error) {
      post({ type: "crash", message: String(error) });
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
