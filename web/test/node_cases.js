// SPDX-License-Identifier: MIT
// The page's engine under Node, against every end-to-end case and workload
// that a page can run: the same standard output, standard error and exit
// status as the program's, byte for byte.
// Usage: node node_cases.js ENGINE_JS SOURCE_DIR
"use strict";

const crypto = require("crypto");
const fs = require("fs");
const path = require("path");
const { pageCases, readOr } = require("./cases.js");

const [enginePath, sourceDir] = process.argv.slice(2);
async function main() {
  const createSentgenEngine = require(path.resolve(enginePath));
  let run = null;
  const engine = await createSentgenEngine({
    sentgenOutput(bytes) {
      run.hash.update(bytes);
      if (run.keep) run.chunks.push(Buffer.from(bytes));
    },
    sentgenEnd(errors, status) {
      run.errors = Buffer.from(errors);
      run.status = status;
    },
  });
  let passed = 0, failed = 0, skipped = 0;
  for (const c of pageCases(sourceDir)) {
    if (!c.usable) {
      skipped += 1;
      continue;
    }
    const digests = readOr(path.join(c.dir, "expected-sha256"), null);
    run = { hash: crypto.createHash("sha256"), keep: !digests, chunks: [], errors: null, status: -1 };
    const grammar = fs.readFileSync(path.join(c.dir, "grammar.txt"));
    const start = process.hrtime.bigint();
    const at = engine._malloc(Math.max(grammar.length, 1));
    engine.HEAPU8.set(grammar, at);
    engine._sentgen_run(at, grammar.length);
    engine._free(at);
    const milliseconds = Number(process.hrtime.bigint() - start) / 1e6;
    const problems = [];
    if (digests) {
      const want = digests.toString().split("\n")[0].trim();
      if (run.hash.digest("hex") !== want) problems.push("standard output differs from its SHA-256");
    } else if (!Buffer.concat(run.chunks).equals(readOr(path.join(c.dir, "expected"), Buffer.alloc(0)))) {
      problems.push("standard output differs");
    }
    if (!run.errors.equals(readOr(path.join(c.dir, "stderr"), Buffer.alloc(0)))) {
      problems.push(`standard error differs: ${JSON.stringify(run.errors.toString("latin1"))}`);
    }
    const status = Number(readOr(path.join(c.dir, "status"), "0").toString().trim());
    if (run.status !== status) problems.push(`exit status ${run.status}, expected ${status}`);
    if (problems.length > 0) {
      failed += 1;
      console.log(`FAIL ${c.name}: ${problems.join("; ")}`);
    } else {
      passed += 1;
      if (c.name.startsWith("bench/")) console.log(`ok ${c.name} (${milliseconds.toFixed(1)} ms)`);
    }
  }
  console.log(`web.node: ${passed} passed, ${failed} failed, ${skipped} skipped`);
  process.exitCode = failed > 0 || passed === 0 ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
