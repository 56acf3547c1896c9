// SPDX-License-Identifier: MIT
// Run module: the order of a run, its sentence budget and its exit status.
// The program's entry, main, is in main.cpp.
#ifndef SENTGEN_RUN_H
#define SENTGEN_RUN_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "grammar.h"
#include "trace.h"

constexpr int SENTENCE_BUDGET = 20;     // sentences printed at most
constexpr int IDLE_STEP_LIMIT = 10000;  // steps in a row without a sentence

// Why a run ended.
enum run_end {
  RUN_SENTENCES,      // the budget of sentences was spent
  RUN_STACK_EMPTY,    // no form was left pending
  RUN_IDLE,           // IDLE_STEP_LIMIT steps in a row without a sentence
  RUN_REJECTED,       // the file could not be used
  RUN_OUT_OF_MEMORY,  // memory ran out
};

// What a traced run tells beyond its output, for the page: each sentence's
// derivation as it is printed, and what the search did.
struct run_trace {
  // Called after each sentence is printed, with the rules that made it,
  // in the order they were applied, and the step that took it out.
  void (*on_sentence)(const std::vector<trace_label>& labels, uint64_t step);
  uint64_t steps;          // forms taken off the stack
  uint64_t forms_made;     // forms the stack kept, the seed included
  uint64_t forms_refused;  // forms a full stack refused: the overflow lines
  int most_pending;        // most forms on the stack at once
  run_end end;             // why the run ended
};

// Seeds the stack with the start symbol and expands the shortest form until
// the budget is spent, the stack is empty, or the idle limit is reached;
// with `trace`, keeps each form's derivation and reports into it.
void run_search(const grammar_table& g, run_trace* trace = nullptr);

// A whole run on grammar.txt; returns the exit status (0, or 1 when the file
// cannot be used or memory runs out).
int run_file();

// The same run on the bytes of a grammar file instead of grammar.txt.
int run_bytes(std::string_view bytes);
// run_bytes, traced into `trace`; its output is the same.
int run_bytes_traced(std::string_view bytes, run_trace& trace);

// Puts every module back as it was before the first run: the stack and
// its tree, the pieces' memory, the warnings, the loader's watcher. A run
// ends with it, so that the next run starts as the first did. The rule
// table stays readable until the next load, which starts by clearing it.
void run_reset();

#endif
