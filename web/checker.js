// SPDX-License-Identifier: MIT
// The page's questions on a grammar outside its run: whether strings are
// sentences, how two grammars differ, a search step, a covering set, a
// derivation. They go to a worker of their own, so that neither a run nor
// a long decision waits for the other, and typing waits for neither. Stop
// ends the worker; a question asked again while the last of its kind is
// still open ends it too, the others being asked again of a new one.
"use strict";

// `startWorker(heard)`: a new worker, its messages to `heard`. `answers`:
// for each type of question, {answer(message)}: an answer to the last
// question of that type came (one question may have several), and
// {unanswered(why)}: it will get no more, "stopped" or the engine's
// failure. `onBusy()`: the worker started or stopped being busy.
function makeChecker({ startWorker, answers, onBusy }) {
  let worker = null;
  let next = 1;              // the id of the next question
  const open = new Map();    // id -> the questions asked and not yet answered, in order
  const last = {};           // type -> the last question asked of it, while it is open

  function onAnswer(message, asked) {
    if (last[asked.type] === asked) answers[asked.type].answer(message);
  }

  function onEnd(asked, why) {
    if (last[asked.type] !== asked) return;
    last[asked.type] = null;
    if (why !== "answered" && why !== "replaced") answers[asked.type].unanswered(why);
  }

  // Ends the worker; the questions still open are told `why`.
  function end(why) {
    if (worker) worker.terminate();
    worker = null;
    const ended = [...open.values()];
    open.clear();
    for (const asked of ended) onEnd(asked, why);
    onBusy();
  }

  function heard(from, message) {
    if (from !== worker) return;  // an ended worker's last words
    if (message.type === "crash") {
      end(`the engine stopped: ${message.message}`);
      return;
    }
    const asked = open.get(message.id);
    if (!asked) return;
    if (message.type !== "answered") {
      onAnswer(message, asked);
      return;
    }
    open.delete(message.id);
    onEnd(asked, "answered");
    onBusy();
  }

  function post(asked) {
    worker = worker || startWorker(heard);
    open.set(asked.id, asked);
    worker.postMessage(asked);
  }

  return {
    // Asks `question` ({type, ...}); returns it with its id. An open
    // question of the same type is dropped: its worker is ended when it
    // holds one, and the other open ones are asked again.
    ask(question) {
      const asked = { ...question, id: next };
      next += 1;
      const same = [...open.values()].filter((each) => each.type === question.type);
      if (same.length > 0) {
        const others = [...open.values()].filter((each) => each.type !== question.type);
        if (worker) worker.terminate();
        worker = null;
        open.clear();
        for (const each of same) onEnd(each, "replaced");
        for (const each of others) post(each);
      }
      last[question.type] = asked;
      post(asked);
      onBusy();
      return asked;
    },
    // Stops every open question.
    stop() {
      if (open.size > 0) end("stopped");
    },
    busy: () => open.size > 0,
  };
}
