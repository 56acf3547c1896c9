// SPDX-License-Identifier: MIT
// A worker of the engine, made from the script the page holds (the page is
// one file, with nothing to fetch). The runs have one, the questions another.
"use strict";

// A new worker running `source`: `heard(worker, message)` takes each of its
// messages, and its failure as { type: "crash", message }.
function startEngineWorker(source, heard) {
  const url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
  const made = new Worker(url);
  made.onmessage = (event) => heard(made, event.data);
  made.onerror = (event) => {
    event.preventDefault();
    heard(made, { type: "crash", message: event.message });
  };
  return made;
}
