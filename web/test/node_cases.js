// SPDX-License-Identifier: MIT
// The page's engine under Node, through the very calls the page's worker
// makes (web/engine_job.js), against every end-to-end case and workload
// that a page can run: the same standard output, standard error and exit
// status as the program's, byte for byte. And every sentence's derivation,
// replayed by the engine from the start symbol, gives the sentence; each
// rule is one of the file's rule lines; the steps that took the sentences
// out increase; the search's summary says why the run ended.
// Usage: node node_cases.js ENGINE_JS SOURCE_DIR
"use strict";

const crypto = require("crypto");
const fs = require("fs");
const path = require("path");
const { pageCases, readOr } = require("./cases.js");
const { sentgenMakeJobs } = require("../engine_job.js");
const { outputLines } = require("../output.js");

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

// The problems with the derivations of a run of `grammar`.
function derivationProblems(jobs, grammar, job, sentences) {
  const problems = [];
  if (sentences.length !== job.sentences.length) {
    return [`${job.sentences.length} derivations for ${sentences.length} sentences`];
  }
  job.sentences.forEach(({ labels, step }, n) => {
    if (n > 0 && step <= job.sentences[n - 1].step) problems.push(`sentence ${n}: step ${step}`);
    let last = null;
    const count = labels.length / 2;
    const { fits, ruleLines } = jobs.derivation(
      grammar, labels, { whole: 0, ends: 1, context: 2 ** 31 }, (s) => {
        if (s.index === count) last = Buffer.from(s.text);
      });
    if (!fits) problems.push(`sentence ${n}: a rule does not fit its form`);
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

async function main() {
  const jobs = await sentgenMakeJobs(require(path.resolve(enginePath)));
  let passed = 0, failed = 0, skipped = 0;
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
  console.log(`web.node: ${passed} passed, ${failed} failed, ${skipped} skipped`);
  process.exitCode = failed > 0 || passed === 0 ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
