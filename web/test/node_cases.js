// SPDX-License-Identifier: MIT
// The page's engine under Node, through the very calls the page's worker
// makes (web/engine_job.js), against every end-to-end case and workload
// that a page can run: the same standard output, standard error and exit
// status as the program's, byte for byte. And every sentence's derivation,
// replayed by the engine from the start symbol, gives the sentence; each
// rule is one of the file's rule lines; the steps that took the sentences
// out increase; the search's summary says why the run ended. Every
// sentence's tree (web/tree.js), built from the rules the engine hands
// over, spells the sentence with its leaves, has its rules in the order of
// the derivation, leftmost first, and as many nodes as counted; the
// worker's messages carry what the page draws and saves.
// Usage: node node_cases.js ENGINE_JS SOURCE_DIR
"use strict";

const crypto = require("crypto");
const fs = require("fs");
const path = require("path");
const { pageCases, readOr } = require("./cases.js");
const { sentgenMakeJobs } = require("../engine_job.js");
const { lineProblems, companionProblems, stepProblems } = require("./node_questions.js");
const { outputLines } = require("../output.js");
const trees = require("../tree.js");
const { sentgenWorker } = require("../worker.js");

const [enginePath, sourceDir] = process.argv.slice(2);

// Keeps the lines of standard output with no capital letter, as they come
// in blocks: the sentences are the last of them (the listing's lines
// rarely lack one; overflow lines and messages never do).
function lowerLines() {
  const lines = [];
  let line = [];
  let upper = false;
  return {
    lines,
    take(bytes) {
      let from = 0;
      for (let i = 0; i < bytes.length; i += 1) {
        const b = bytes[i];
        if (b === 0x0a) {
          if (!upper) line.push(Buffer.from(bytes.subarray(from, i)));
          if (!upper) lines.push(Buffer.concat(line));
          line = [];
          upper = false;
          from = i + 1;
        } else if (b >= 0x41 && b <= 0x5a && !upper) {
          upper = true;
          line = [];
        }
      }
      if (!upper) line.push(Buffer.from(bytes.subarray(from)));
    },
  };
}

// The problems with the tree of a derivation of `sentence`: its leaves
// spell it; its rules, leftmost first, are the derivation's in order; it
// has the nodes counted; a rule's node has its rule's text's symbols as
// children.
function treeProblems(rules, labels, start, sentence) {
  const tree = trees.build(rules, labels, start);
  const problems = [];
  if (!tree.fits) problems.push("its tree does not fit its rules");
  if (!Buffer.from(trees.leaves(tree)).equals(sentence)) problems.push("its tree's leaves spell another text");
  if (tree.nodes !== trees.size(rules, labels)) problems.push(`its tree has ${tree.nodes} nodes`);
  let steps = 0;
  let children = true;
  trees.walk(tree, (node) => {
    if (tree.step[node] === 0) return;
    if (tree.step[node] !== ++steps) steps = -Infinity;
    const text = rules.get(trees.labelOf(tree, node)).text;
    const first = tree.first[node];
    children &&= text.length === 0 ? tree.count[node] === 1 && tree.symbol[first] === trees.EMPTY
      : tree.count[node] === text.length && text.every((b, i) => tree.symbol[first + i] === b);
  });
  if (steps !== labels.length) problems.push("its tree's rules, leftmost first, are not its steps");
  if (!children) problems.push("a node's children are not its rule's symbols");
  return problems;
}

// The problems with the derivations of a run of `grammar`.
function derivationProblems(jobs, grammar, job, sentences) {
  const problems = [];
  if (sentences.length !== job.sentences.length) {
    return [`${job.sentences.length} derivations for ${sentences.length} sentences`];
  }
  job.sentences.forEach(({ labels, step }, n) => {
    if (n > 0 && step <= job.sentences[n - 1].step) problems.push(`sentence ${n}: step ${step}`);
    let last = null;
    let start = null;
    const count = labels.length / 2;
    const { fits, ruleLines, rules } = jobs.derivation(
      grammar, labels, { whole: 0, ends: 1, context: 2 ** 31 }, (s) => {
        if (s.index === 0 && s.text.length > 0) start = s.text[0];
        if (s.index === count) last = Buffer.from(s.text);
      });
    if (!fits) problems.push(`sentence ${n}: a rule does not fit its form`);
    if (ruleLines.size !== rules.size) problems.push(`sentence ${n}: ${rules.size} rules for ${ruleLines.size} lines`);
    problems.push(...treeProblems(rules, trees.labelsOf(labels), start, sentences[n])
      .map((problem) => `sentence ${n}: ${problem}`));
    for (let k = 0; k < labels.length; k += 2) {
      if (!ruleLines.has(`${labels[k]}:${labels[k + 1]}`)) {
        problems.push(`sentence ${n}: rule ${labels[k]}:${labels[k + 1]} has no line`);
        break;
      }
    }
    if (!last || !last.equals(sentences[n])) problems.push(`sentence ${n}: replayed to another text`);
  });
  return problems;
}

// The worker's messages for a run of a^n b^n: the derivation of "aabb"
// comes with its tree's makings, and the tree, asked for, as an outline.
async function workerProblems(jobs) {
  const posted = [];
  const take = sentgenWorker({ jobs: Promise.resolve(jobs), trees, post: (message) => posted.push(message) });
  await take({ grammar: Buffer.from("S -> aSb\nS -> @\n") });
  await take({ type: "derivation", n: 2 });
  await take({ type: "tree", n: 2 });
  const [done, derivation, tree] = posted;
  const problems = [];
  if (!done || done.type !== "done" || done.starts.length !== 20) problems.push("the run's message");
  if (!derivation || derivation.type !== "derivation" || derivation.tree.nodes !== 8 ||
    derivation.tree.start !== 0x53 || trees.labelsOf(derivation.tree.labels).join() !== "0:0,0:0,0:1") {
    problems.push(`the derivation's tree: ${JSON.stringify(derivation && derivation.tree)}`);
  }
  const outline = tree && tree.type === "tree" ? await tree.text.text() : "";
  const want = "S 0:0\n  a\n  S 0:0\n    a\n    S 0:1\n      \u00b7\n    b\n  b\n";
  if (outline !== want) problems.push(`the tree as text: ${JSON.stringify(outline)}`);
  return problems;
}

async function main() {
  // The engine's WebAssembly beside its script, as the page holds it unpacked.
  const jobs = await sentgenMakeJobs(require(path.resolve(enginePath)),
    fs.readFileSync(enginePath.replace(/\.js$/, ".wasm")));
  const workerSaid = await workerProblems(jobs);
  if (workerSaid.length > 0) console.log(`FAIL the worker: ${workerSaid.join("; ")}`);
  const linesSaid = lineProblems();
  if (linesSaid.length > 0) console.log(`FAIL the test strings' lines: ${linesSaid.join("; ")}`);
  const companions = companionProblems(jobs, sourceDir);
  for (const problem of companions.problems) console.log(`FAIL ${problem}`);
  console.log(`the page's questions against ${companions.checked} companion cases`);
  let passed = 0, failed = 0, skipped = 0, replayed = 0;
  for (const c of pageCases(sourceDir)) {
    if (!c.usable) {
      skipped += 1;
      continue;
    }
    const digests = readOr(path.join(c.dir, "expected-sha256"), null);
    const hash = crypto.createHash("sha256");
    const chunks = [];
    const lower = lowerLines();
    const grammar = fs.readFileSync(path.join(c.dir, "grammar.txt"));
    const start = process.hrtime.bigint();
    const job = jobs.run(grammar, (bytes) => {
      hash.update(bytes);
      if (!digests) chunks.push(Buffer.from(bytes));
      lower.take(bytes);
    });
    const milliseconds = Number(process.hrtime.bigint() - start) / 1e6;
    const problems = [];
    if (digests) {
      const want = digests.toString().split("\n")[0].trim();
      if (hash.digest("hex") !== want) problems.push("standard output differs from its SHA-256");
    } else {
      const output = Buffer.concat(chunks);
      if (!output.equals(readOr(path.join(c.dir, "expected"), Buffer.alloc(0)))) {
        problems.push("standard output differs");
      }
      // Each sentence's line starts where the engine says, and the
      // listing's lines are the rules it counts.
      const text = output.toString("latin1");
      const kinds = outputLines(text, job.summary.rules, job.sentences.map((s) => s.at));
      const rules = kinds.filter((line) => line.kind === "rule");
      if (rules.length !== job.summary.rules || rules.some((line) => text[line.start] !== "\t")) {
        problems.push(`${rules.length} listing lines found for ${job.summary.rules} rules`);
      }
      // The rules the engine hands over for the trees are the listing's.
      const { rules: handed } = jobs.derivation(grammar, new Uint8Array(0),
        { whole: 0, ends: 0, context: 0 }, () => {});
      const unlike = rules.filter((line) => {
        const [, lhs, rhs] = /^\t\S+ ([\s\S]) -> ([\s\S]*)$/.exec(text.slice(line.start, line.end)) || [];
        const rule = handed.get(line.label);
        return !rule || lhs === undefined || rule.lhs !== lhs.charCodeAt(0) ||
          Buffer.from(rule.text).toString("latin1") !== (rhs.startsWith("@") ? "" : rhs);
      });
      if (unlike.length > 0 || handed.size !== rules.length) {
        problems.push(`${unlike.length} of ${handed.size} rules handed over unlike the listing's`);
      }
      const found = kinds.filter((each) => each.kind === "sentence");
      if (found.length !== job.sentences.length) {
        problems.push(`${found.length} sentence lines found for ${job.sentences.length} sentences`);
      }
      for (const line of found) {
        const bytes = output.subarray(line.start, line.end);
        if (line.start > 0 && output[line.start - 1] !== 0x0a) problems.push(`sentence ${line.label}: not at a line start`);
        if (bytes.some((b) => b >= 0x41 && b <= 0x5a)) problems.push(`sentence ${line.label}: not a sentence`);
      }
    }
    // The lines the engine says messages name are those the messages name.
    const errorsText = Buffer.from(job.errors).toString("latin1");
    const warned = [...errorsText.matchAll(/^grammar\.txt:(\d+): warning: /gm)].map((m) => Number(m[1]));
    if (JSON.stringify(warned) !== JSON.stringify(job.summary.warned)) {
      problems.push(`warned lines ${JSON.stringify(job.summary.warned)}, standard error names ${JSON.stringify(warned)}`);
    }
    if (!Buffer.from(job.errors).equals(readOr(path.join(c.dir, "stderr"), Buffer.alloc(0)))) {
      problems.push(`standard error differs: ${JSON.stringify(Buffer.from(job.errors).toString("latin1"))}`);
    }
    const status = Number(readOr(path.join(c.dir, "status"), "0").toString().trim());
    if (job.status !== status) problems.push(`exit status ${job.status}, expected ${status}`);
    if (status === 1 && job.summary.why !== "the file was rejected" && job.summary.why !== "out of memory") {
      problems.push(`a failed run ended with "${job.summary.why}"`);
    }
    const sentences = lower.lines.slice(lower.lines.length - job.sentences.length);
    problems.push(...derivationProblems(jobs, grammar, job, sentences));
    // Every step replayed, where that is not millions of forms to look at.
    if (job.summary.steps > 0 && job.summary.steps * job.summary.most <= 5e5) {
      problems.push(...stepProblems(jobs, grammar, job));
      replayed += 1;
    }
    if (problems.length > 0) {
      failed += 1;
      console.log(`FAIL ${c.name}: ${problems.join("; ")}`);
    } else {
      passed += 1;
      if (c.name.startsWith("bench/")) {
        console.log(`ok ${c.name} (${milliseconds.toFixed(1)} ms; ${job.summary.steps} steps, ` +
          `ended: ${job.summary.why})`);
      }
    }
  }
  console.log(`every step of ${replayed} runs replayed`);
  console.log(`web.node: ${passed} passed, ${failed} failed, ${skipped} skipped`);
  process.exitCode = failed > 0 || passed === 0 || workerSaid.length > 0 || linesSaid.length > 0 ||
    companions.problems.length > 0 || companions.checked < 10 ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
