// SPDX-License-Identifier: MIT
// Run module: load, list, search, and the reset between runs.
#include "run.h"

#include <cstdio>
#include <new>

#include "checks.h"
#include "derivation.h"
#include "output.h"

namespace {

constexpr char IDLE_MESSAGE[] = "No sentence in 10000 steps: search stopped.\n";
static_assert(output_names_number(IDLE_MESSAGE, IDLE_STEP_LIMIT));

// Loads with `load`, then lists and searches. Running out of memory
// anywhere ends the run with a message instead of a crash.
template <typename Loader>
int run_with(Loader load) {
  int status = 0;
  try {
    check_reset();
    grammar_watch(check_line);  // the checks see each rule line as it is read
    status = load(grammar);
    grammar_watch(nullptr);
    if (status == 0) check_table(grammar);
    check_end();  // the warnings come before what they are about
    if (status == 0) {
      print_rules(grammar);
      run_search(grammar);
    }
  } catch (const std::bad_alloc&) {
    output_write("Out of memory.\n");
    status = 1;
  }
  run_reset();
  return status;
}

}  // namespace

void run_search(const grammar_table& g) {
  stack_push(grammar_seed(g));
  int budget = SENTENCE_BUDGET;
  int idle_steps = 0;
  sentential_form form;
  while (!stack_is_empty()) {
    stack_pop_shortest(form);
    int left = expand_leftmost(g, form, budget);
    idle_steps = left == budget ? idle_steps + 1 : 0;
    budget = left;
    if (budget == 0) break;
    // Some grammars grow forms forever without a sentence; stop those.
    if (idle_steps >= IDLE_STEP_LIMIT && !stack_is_empty()) {
      output_write(IDLE_MESSAGE);
      break;
    }
  }
}

int run_file() { return run_with(load_grammar); }

int run_bytes(std::string_view bytes) {
  return run_with([bytes](grammar_table& g) { return parse_grammar(g, bytes); });
}

void run_reset() {
  stack_clear();
  form_free_blocks();  // no form is left to hold a piece
  output_release();
  check_reset();
  grammar_watch(nullptr);
}
