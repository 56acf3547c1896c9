// SPDX-License-Identifier: MIT
// The end-to-end cases and workloads that a page can run: a grammar file of
// bytes, not a missing file, a folder, a link, a FIFO, file permissions, a
// file-size limit or a failing read. Shared by the Node and browser tests.
"use strict";

const fs = require("fs");
const path = require("path");

const FILE_SYSTEM_CASES = ["grammar-link", "grammar-fifo", "grammar-mode", "file-size-limit",
  "stdout-path", "inject-read-error"];

// Every case folder, with `usable` false for those a page cannot run.
function pageCases(sourceDir) {
  const cases = [];
  for (const group of ["tests/cases", "bench/workloads"]) {
    const root = path.join(sourceDir, group);
    for (const name of fs.readdirSync(root).sort()) {
      const dir = path.join(root, name);
      const grammar = path.join(dir, "grammar.txt");
      // A case of a companion program (its `program` file names it) is not
      // a run of sentgen, which is what the page makes.
      const usable = fs.existsSync(grammar) && fs.lstatSync(grammar).isFile() &&
        !fs.existsSync(path.join(dir, "program")) &&
        !FILE_SYSTEM_CASES.some((file) => fs.existsSync(path.join(dir, file)));
      cases.push({ name: `${group}/${name}`, dir, usable });
    }
  }
  return cases;
}

// A case's file, or `fallback` when the case has none.
function readOr(file, fallback) {
  return fs.existsSync(file) ? fs.readFileSync(file) : fallback;
}

module.exports = { pageCases, readOr };
