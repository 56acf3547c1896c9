// SPDX-License-Identifier: MIT
// The page's worker: runs the engine on the bytes of a grammar file, off
// the page's thread, so that typing never waits for a run; the page stops
// a run by ending the worker. Of standard output it keeps the first
// HEAD_LIMIT bytes to show, and puts the whole into a Blob, which the
// browser may keep out of the page's memory, for download. The engine
// (createSentgenEngine) is put before this script.
"use strict";

const HEAD_LIMIT = 1 << 20;      // bytes of standard output the page shows
const PART_SIZE = 4 << 20;       // bytes gathered before they become a Blob
const PROGRESS_EVERY_MS = 100;   // how often a long run says how far it is

let run = null;  // the run in progress: what it has printed so far

const engineReady = createSentgenEngine({
  sentgenOutput(bytes) {
    if (run.headSize < HEAD_LIMIT) {
      const taken = bytes.subarray(0, HEAD_LIMIT - run.headSize);
      run.head.set(taken, run.headSize);
      run.headSize += taken.length;
    }
    run.total += bytes.length;
    run.pending.push(bytes.slice());
    run.pendingSize += bytes.length;
    if (run.pendingSize >= PART_SIZE) {
      run.parts.push(new Blob(run.pending));
      run.pending = [];
      run.pendingSize = 0;
    }
    const now = performance.now();
    if (now - run.reported >= PROGRESS_EVERY_MS) {
      run.reported = now;
      postMessage({ type: "progress", total: run.total });
    }
  },
  sentgenEnd(errors, status) {
    run.errors = errors;
    run.status = status;
  },
});

onmessage = async (event) => {
  const engine = await engineReady;
  const grammar = event.data.grammar;
  run = {
    head: new Uint8Array(HEAD_LIMIT), headSize: 0, total: 0,
    pending: [], pendingSize: 0, parts: [],
    reported: performance.now(), errors: new Uint8Array(0), status: -1,
  };
  const start = performance.now();
  try {
    const at = engine._malloc(Math.max(grammar.length, 1));
    engine.HEAPU8.set(grammar, at);
    engine._sentgen_run(at, grammar.length);
    engine._free(at);
  } catch (error) {
    postMessage({ type: "crash", message: String(error) });
    return;
  }
  const milliseconds = performance.now() - start;
  run.parts.push(new Blob(run.pending));
  const head = run.head.slice(0, run.headSize);
  postMessage({
    type: "done", head, total: run.total, output: new Blob(run.parts, { type: "text/plain" }),
    errors: run.errors, status: run.status, milliseconds,
  }, [head.buffer]);
  run = null;
};
