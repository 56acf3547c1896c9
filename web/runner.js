// SPDX-License-Identifier: MIT
// The runs of the engine, in a worker so that typing never waits for one.
// A run streams its output in parts: the start of it to show, and all of it
// as Blobs, which the browser may keep out of the page's memory, for
// Download. Stopping a run ends its worker; what it printed stays, labelled.
// A finished run's worker keeps its derivations, and replays one on request.
"use strict";

// `startWorker(heard)`: a new worker, its messages to `heard`. `onStart()`:
// a run begins. `onProgress(head, total)`: more output came.
// `onResult(result)`: a run ended or was stopped. `onCrash(message)`: the
// engine failed. `onDerivation(message)`: a replayed derivation came;
// `onTree(message)`: a tree written as text.
function makeRunner({ startWorker, onStart, onProgress, onResult, onCrash, onDerivation, onTree }) {
  let worker = null;     // the worker, made on first use and after a stop
  let busy = false;      // whether the worker is running
  let runs = 0;          // runs started, for the tests to wait on
  let result = null;     // the last run shown: head, total, output, errors, status, stopped
  let streaming = null;  // the run in progress: its head and parts so far

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
      onProgress(head, streaming.total);
    }
  }

  // Ends the run in progress as `message` says, or as stopped.
  function settle(message) {
    const { head, parts, total } = streaming;
    streaming = null;
    const output = new Blob(parts, { type: "text/plain" });
    result = message ? { ...message, head, total, output }
      : { head, total, output, stopped: true, errors: new Uint8Array(0), status: null, summary: null };
    onResult(result);
  }

  function heard(from, message) {
    // A stopped run's last words, and the end of a tree asked for, which needs none.
    if (from !== worker || message.type === "answered") return;
    if (message.type === "derivation" || message.type === "tree") {
      (message.type === "tree" ? onTree : onDerivation)(message);
      return;
    }
    if (message.type === "progress") {
      takeOutput(message);
      return;
    }
    busy = false;
    if (message.type === "crash") {
      worker.terminate();
      worker = null;
      result = null;
      streaming = null;
      onCrash(message.message);
      return;
    }
    takeOutput(message);
    settle(message);
  }

  // Stops the run; what it printed so far stays, labelled.
  function stop() {
    if (!busy) return;
    worker.terminate();
    worker = null;
    busy = false;
    settle(null);
  }

  return {
    stop,
    // Runs the grammar file `grammar` (bytes), stopping a run in progress.
    run(grammar) {
      if (busy) stop();
      worker = worker || startWorker(heard);
      busy = true;
      runs += 1;
      streaming = { head: new Uint8Array(0), parts: [], total: 0 };
      result = null;
      onStart(runs);
      worker.postMessage({ grammar });
    },
    // Asks for the derivation of sentence `n` of the last run; false when
    // there is none to replay: no finished run, or one in progress.
    askDerivation(n) {
      if (!result || !worker || busy || result.stopped) return false;
      worker.postMessage({ type: "derivation", n });
      return true;
    },
    // Asks for the tree of sentence `n`'s derivation, replayed last, as
    // text; false when the worker has none to give.
    askTree(n) {
      if (!result || !worker || busy || result.stopped) return false;
      worker.postMessage({ type: "tree", n });
      return true;
    },
    // The number of the first sentence of the last finished run that is
    // `text` (bytes); -1: none. A line past the pane's start is read from
    // the whole output.
    async sentenceOf(text) {
      const done = result;
      if (!done || done.stopped || !done.starts) return -1;
      for (const [n, at] of done.starts.entries()) {
        const end = at + text.length + 1;
        const line = end <= done.head.length ? done.head.subarray(at, end)
          : new Uint8Array(await done.output.slice(at, end).arrayBuffer());
        if (line.length === text.length + 1 && line[text.length] === 0x0a &&
          text.every((b, i) => line[i] === b)) return n;
      }
      return -1;
    },
    busy: () => busy,
    result: () => result,
    streamed: () => (streaming ? streaming.total : 0),
  };
}
