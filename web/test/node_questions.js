// SPDX-License-Identifier: MIT
// The page's questions outside a run, through its own engine calls: the
// test strings read and decided as sentgen-test reads and decides them,
// grammars compared as sentgen-diff compares them, covering sets as
// sentgen-cover makes them, each against the companions' own cases; and
// every step of the runs replayed, the slot taken the shortest and lowest,
// the forms pushed and refused adding up to the run's counts, each
// sentence printed at the step the run says.
"use strict";

const fs = require("fs");
const path = require("path");
const { testLines } = require("../test_strings.js");
const trees = require("../tree.js");

const text = (bytes) => Buffer.from(bytes).toString("latin1");

// testLines on the ends of lines sentgen-test knows.
function lineProblems() {
  const cases = [["", []], ["\n", [""]], ["a", ["a"]], ["a\r\nb\n\nc", ["a", "b", "", "c"]],
    ["a\r", ["a\r"]], ["a\r\r\n\r\n", ["a\r", ""]], ["\n\n", ["", ""]]];
  return cases.filter(([input, want]) =>
    JSON.stringify(testLines(Buffer.from(input, "latin1")).map(text)) !== JSON.stringify(want))
    .map(([input]) => `testLines(${JSON.stringify(input)})`);
}

// The companion's case in `dir` as the page would answer it, or null
// when the page asks no such question (options, missing files, --help).
function companionOutput(jobs, dir, program) {
  // A case's own files are in its folder, those it runs on in files/.
  const where = (name) => [path.join(dir, "files", name), path.join(dir, name)].find((f) => fs.existsSync(f));
  const read = (name) => fs.readFileSync(where(name));
  const args = fs.existsSync(path.join(dir, "args")) ? read("args").toString().split("\n").filter(Boolean) : [];
  const grammar = read("grammar.txt");
  const file = args.length === 1 ? args[0] : args.length === 0 && program === "sentgen-test" ? "stdin" : null;
  if (program === "sentgen-cover") {
    if (args.length > 0) return null;
    const { loaded, lines } = jobs.cover(grammar, true);
    if (!loaded) return null;
    return lines.map((line) => `${trees.labelsOf(line.labels).join(" ")}\t${text(line.sentence)}\n`).join("");
  }
  if (file === null || file.startsWith("-") || !where(file)) return null;
  if (program === "sentgen-test") {
    const said = testLines(read(file)).map((line) => {
      const { verdict, labels } = jobs.decide(grammar, line);
      if (verdict !== "sentence" && verdict !== "not a sentence") return null;
      return `${verdict === "sentence" ? "yes" : "no"}\t${trees.labelsOf(labels).join(" ")}\t${text(line)}\n`;
    });
    return said.includes(null) ? null : said.join("");
  }
  const compared = jobs.compare(grammar, read(file));
  if (compared.status !== "compared") return null;
  return compared.only[0].map((s) => `< ${text(s)}\n`).join("") +
    compared.only[1].map((s) => `> ${text(s)}\n`).join("") +
    `checked all strings up to length ${compared.checked}\n`;
}

// Every companion case whose question the page asks, answered as the
// companion answers it.
function companionProblems(jobs, sourceDir) {
  const problems = [];
  let checked = 0;
  for (const group of ["tests/cases", "bench/workloads"]) {
    for (const name of fs.readdirSync(path.join(sourceDir, group)).sort()) {
      const dir = path.join(sourceDir, group, name);
      if (!fs.existsSync(path.join(dir, "program")) || !fs.existsSync(path.join(dir, "grammar.txt"))) continue;
      const program = fs.readFileSync(path.join(dir, "program")).toString().trim();
      const said = companionOutput(jobs, dir, program);
      if (said === null) continue;
      checked += 1;
      if (process.env.SENTGEN_SAY) console.log(`${group}/${name}`);
      const digest = path.join(dir, "expected-sha256");
      const want = fs.existsSync(digest)
        ? fs.readFileSync(digest).toString().split("\n")[0].trim()
        : fs.existsSync(path.join(dir, "expected")) ? fs.readFileSync(path.join(dir, "expected")).toString("latin1") : "";
      const got = fs.existsSync(digest)
        ? require("crypto").createHash("sha256").update(Buffer.from(said, "latin1")).digest("hex") : said;
      if (got !== want) problems.push(`${group}/${name}: the page's answer differs from ${program}'s`);
    }
  }
  return { problems, checked };
}

// Every step of a run of `grammar` replayed, held to the run's own counts.
function stepProblems(jobs, grammar, job) {
  const { summary } = job;
  const { reached, steps } = jobs.steps(grammar, 1, summary.steps, { whole: 256, context: 60 });
  const problems = [];
  if (reached !== 1 || steps.length !== summary.steps) return [`${steps.length} steps replayed of ${summary.steps}`];
  let pushed = 0, refused = 0, most = 0;
  const printed = [];
  for (const told of steps) {
    const lengths = told.pending.map((form) => form.length);
    most = Math.max(most, lengths.length);
    if (told.taken !== lengths.indexOf(Math.min(...lengths))) problems.push(`step ${told.step}: slot ${told.taken} taken`);
    if (told.pending.some((form, slot) => form.slot !== slot)) problems.push(`step ${told.step}: slots out of order`);
    pushed += told.children.filter((child) => !child.refused).length;
    refused += told.children.filter((child) => child.refused).length;
    if (told.sentence > 0) printed.push(told.step);
    const taken = told.pending[told.taken];
    if (told.deadEnd !== (taken.fate === 2) || (told.sentence > 0) !== (taken.leftmostAt === taken.length && taken.fate === 0)) {
      problems.push(`step ${told.step}: the taken form's fate and what the step did disagree`);
    }
  }
  if (pushed + 1 !== summary.made || refused !== summary.refused || most !== summary.most) {
    problems.push(`pushed ${pushed}, refused ${refused}, most ${most}, against ${JSON.stringify(summary)}`);
  }
  if (printed.join() !== job.sentences.map((sentence) => sentence.step).join()) {
    problems.push(`sentences printed at steps ${printed.join()}`);
  }
  return problems;
}

module.exports = { lineProblems, companionProblems, stepProblems };
