// SPDX-License-Identifier: MIT
// Run module: the order of a run, its sentence budget and its exit status,
// and the one set-up and clean-up that every run and every load with the
// checks goes through. The program's entry, main, is in main.cpp.
#ifndef SENTGEN_RUN_H
#define SENTGEN_RUN_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "checks.h"
#include "form.h"
#include "grammar.h"
#include "loader.h"
#include "trace.h"

constexpr int SENTENCE_BUDGET = 20;     // sentences printed at most
constexpr int IDLE_STEP_LIMIT = 10000;  // search steps in a row without a sentence

// Why a run ended.
enum run_end {
  RUN_SENTENCES,      // the budget of sentences was spent
  RUN_STACK_EMPTY,    // no form was left pending
  RUN_IDLE,           // IDLE_STEP_LIMIT search steps in a row without a sentence
  RUN_REJECTED,       // the file could not be used
  RUN_OUT_OF_MEMORY,  // memory ran out
  RUN_PAUSED,         // stopped before the search step asked for, to be looked at
};

// What a traced run tells beyond its output, for the page: each sentence's
// derivation as it is printed, and what the search did. A search step
// takes one form off the stack.
struct run_trace {
  // Called after each sentence is printed, with the rules that made it, in
  // the order they were applied, the search step that took it out, and
  // where its line starts in the run's standard output.
  void (*on_sentence)(const std::vector<trace_label>& labels, uint64_t step, uint64_t at);
  uint64_t steps;          // search steps: forms taken off the stack
  uint64_t forms_made;     // forms the stack kept, the seed included
  uint64_t forms_refused;  // forms a full stack refused: the overflow lines
  int most_pending;        // most forms on the stack at once
  run_end end;             // why the run ended
  uint64_t origin;         // where the run's standard output started in the sink's
  uint64_t stop_before;    // the search step to pause before; 0: none
  int printed;             // sentences printed so far
  int idle;                // search steps in a row without a sentence so far
};

// What a run tells of its grammar file, for a host that shows it beside
// the output: the lines that messages name, and the listing's size.
struct run_report {
  int rules;                     // lines of the listing; 0 when the file did not load
  uint64_t rejected_line;        // the line at which the load stopped; 0: none
  std::vector<uint64_t> warned;  // the lines with a warning printed, in order
  bool out_of_memory;            // the run ended as memory ran out
};

// The grammar file a run reads: grammar.txt, or a file's bytes in memory.
struct run_input {
  bool from_file;          // read grammar.txt from the current directory
  std::string_view bytes;  // else the file's bytes
};

// The one set-up and clean-up of a run: loads `input` into the run's
// table, the checks watching and their warnings printed, hands the loaded
// table to `use`, and then puts every module back as it was before (the
// stack, the pieces' memory, the records, the output's buffer). Running out
// of memory anywhere ends it with "Out of memory." instead of a crash.
// Returns the exit status: 0, or 1 when the file cannot be used or memory
// runs out.
int run_session(run_input input, const std::function<void(const grammar_table& g)>& use,
                run_report* report = nullptr);

// Loads the grammar file of `source` (its bytes, when it names no path)
// into a table of the caller's with the checks watching, and prints its
// warnings: a run's loading, for callers that keep tables of their own.
// Returns 0, or 1 when the file cannot be used.
int run_load(grammar_table& g, const loader_source& source, std::string_view bytes,
             check_report& report);

// Seeds the stack with the start symbol and expands the shortest form until
// the budget is spent, the stack is empty, or the idle limit is reached.
void run_search(const grammar_table& g);
// The same, keeping each form's derivation and reporting into `trace`.
void run_search_traced(const grammar_table& g, run_trace& trace);

// A whole run on grammar.txt: the listing, then the search; returns the
// exit status (0, or 1 when the file cannot be used or memory runs out).
int run_file();

// The same run on the bytes of a grammar file instead of grammar.txt.
int run_bytes(std::string_view bytes);
// run_bytes, traced into `trace`, reporting into `report`; its output is
// the same.
int run_bytes_traced(std::string_view bytes, run_trace& trace, run_report* report = nullptr);

// One form of the stack as the page's step view shows it.
struct run_form_view {
  size_t length;       // its bytes
  size_t leftmost_at;  // where its leftmost nonterminal stands; its length for a sentence
  char leftmost;       // that nonterminal, a dead end's too; '\0' for a sentence
  int fate;            // FORM_LIVE, FORM_DOOMED (no head kept) or FORM_DEAD_END (no text kept)
  std::string text;    // bytes of its text from `text_start` on: all of it when it has at
                       // most `whole` bytes, else `context` bytes each side of its leftmost
                       // nonterminal; none for a dead end, none before the leftmost for a
                       // doomed form
  size_t text_start;   // where `text` starts in the form
};
run_form_view run_view_form(const sentential_form& form, size_t whole, size_t context);

// What one search step did, replayed for the page's step view.
struct run_child {
  grammar_label label;  // the alternative that made it
  bool refused;         // a full stack refused it
};
struct run_step {
  int taken;                        // the slot taken: the shortest form, the lowest slot among them
  bool dead_end;                    // its leftmost nonterminal has no rule: it is dropped
  int sentence;                     // the sentence it printed, counted from 1; 0: none
  std::vector<run_child> children;  // or a form for each alternative of its leftmost nonterminal
};
// Replays the search of `g`, and for each search step from `first` to
// `last` (counted from 1) hands each form pending before it to
// `on_pending`, in slot order, then what the step did to `on_step`. The
// output of the steps goes where standard output goes. Returns false when
// the search ends before step `first`.
bool run_replay_steps(const grammar_table& g, uint64_t first, uint64_t last,
                      const std::function<void(uint64_t step, int slot, const sentential_form& form)>& on_pending,
                      const std::function<void(uint64_t step, const run_step& told)>& on_step);

// Puts every module back as it was before the first run: the stack and
// its tree, the pieces' memory, the records, the output's buffer. Every
// session ends with it, so that the next run starts as the first did.
void run_reset();

#endif
