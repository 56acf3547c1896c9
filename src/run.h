// SPDX-License-Identifier: MIT
// Run module: the order of a run, its sentence budget and its exit status.
// The program's entry, main, is in main.cpp.
#ifndef SENTGEN_RUN_H
#define SENTGEN_RUN_H

#include <string_view>

#include "grammar.h"

constexpr int SENTENCE_BUDGET = 20;     // sentences printed at most
constexpr int IDLE_STEP_LIMIT = 10000;  // steps in a row without a sentence

// Seeds the stack with the start symbol and expands the shortest form until
// the budget is spent, the stack is empty, or the idle limit is reached.
void run_search(const grammar_table& g);

// A whole run on grammar.txt; returns the exit status (0, or 1 when the file
// cannot be used or memory runs out).
int run_file();

// The same run on the bytes of a grammar file instead of grammar.txt.
int run_bytes(std::string_view bytes);

// Puts every module back as it was before the first run: the stack and
// its tree, the pieces' memory, the warnings, the loader's watcher. A run
// ends with it, so that the next run starts as the first did. The rule
// table stays readable until the next load, which starts by clearing it.
void run_reset();

#endif
